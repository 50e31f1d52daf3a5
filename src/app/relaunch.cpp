#include "app/relaunch.h"

#include <random>
#include <string>

#include "app/app_state.h"
#include "base/paths.h"
#include "install/folder_access.h"
#include "os/fs.h"
#include "os/known_folders.h"
#include "os/platform.h"
#include "os/process_spawn.h"

namespace corvane {
namespace {

constexpr wchar_t kCopyStem[] = L"Corvane-Uninstall-";
constexpr wchar_t kCopyExtension[] = L".exe";
// The per-user folder for the copy when the temporary folder cannot run it.
constexpr wchar_t kOwnFolderName[] = L"Corvane-Setup";
constexpr int kNameAttempts = 16;

// Eight random hexadecimal digits.
std::wstring random_tag() {
  static constexpr wchar_t kHex[] = L"0123456789abcdef";
  std::random_device device;
  std::uint32_t bits = device();
  std::wstring tag;
  for (int i = 0; i < 8; ++i, bits >>= 4) tag.push_back(kHex[bits & 0xF]);
  return tag;
}

// Copies the running program into `folder` (which ends with a separator) under a name of its own
// and starts it there with "/uninstall" and the client folder. The copy is always a new file, so
// nothing that another relaunch or another user placed in a shared folder is written through or
// replaced, and each copy deletes only itself. True when the copy started; a copy that cannot
// start is deleted again.
bool start_copy_in(const std::wstring& folder, const std::vector<std::wstring>& more_args) {
  const AppState& s = app_state();
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::wstring copy = folder + kCopyStem + random_tag() + kCopyExtension;
    const os::ErrorCode e = os::copy_file(s.module_path, copy, /*fail_if_exists=*/true);
    if (e == os::kErrorFileExists) continue;  // that name is taken: draw another
    std::vector<std::wstring> args = {L"/uninstall", s.install_dir};
    args.insert(args.end(), more_args.begin(), more_args.end());
    if (e == os::kErrorSuccess && os::start_process(copy, args, folder, /*new_console=*/false)) {
      return true;
    }
    (void)os::delete_file(copy);
    return false;
  }
  return false;
}

}  // namespace

bool relaunch_from_temp(const std::vector<std::wstring>& more_args) {
  if (start_copy_in(os::temp_dir(), more_args)) return true;
  // A temporary folder where programs may not start (mounted noexec, or barred by a policy): the
  // user's own application data folder instead.
  const std::wstring own = os::known_folder_path(os::KnownFolder::LocalAppData);
  if (own.empty()) return false;
  const std::wstring folder = join_path(own, kOwnFolderName);
  if (!ensure_directory(folder)) return false;
  return start_copy_in(folder + os::kSep, more_args);
}

void schedule_self_delete() { os::delete_executable_after_exit(app_state().module_path); }

}  // namespace corvane
