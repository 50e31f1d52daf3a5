#include "app/relaunch.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "ui/app_state.h"
#include "base/paths.h"
#include "install/folder_access.h"
#include "os/fs.h"
#include "os/known_folders.h"
#include "os/platform.h"
#include "os/process_spawn.h"
#include "os/text.h"

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

bool is_hex_digit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }

// A name that relaunch gives its copies: the stem, eight hexadecimal digits, the extension.
bool is_copy_name(std::wstring_view name) {
  const std::wstring_view stem = kCopyStem;
  const std::wstring_view extension = kCopyExtension;
  if (name.size() != stem.size() + 8 + extension.size()) return false;
  if (!os::equal_ignoring_case(name.substr(0, stem.size()), stem) ||
      !os::equal_ignoring_case(name.substr(name.size() - extension.size()), extension)) {
    return false;
  }
  const std::wstring_view tag = name.substr(stem.size(), 8);
  return std::all_of(tag.begin(), tag.end(), is_hex_digit);
}

// Copies of earlier relaunches that were never told to uninstall (the user closed the window)
// delete nothing of their own: the ones in `folder` (which ends with a separator) that no process
// runs go now. A copy that still runs, and anything else in the folder, stays.
void remove_idle_copies(const std::wstring& folder) {
  std::vector<os::DirEntry> entries;
  if (!os::list_directory(folder, entries)) return;
  for (const os::DirEntry& entry : entries) {
    if (entry.info.is_regular && is_copy_name(entry.name)) (void)os::delete_program_unless_running(folder + entry.name);
  }
}

// Copies the running program into `folder` (which ends with a separator) under a name of its own
// and starts it there with "/uninstall" and the client folder. The copy is always a new file, so
// nothing that another relaunch or another user placed in a shared folder is written through or
// replaced, and each copy deletes only itself. True when the copy started; a copy that cannot
// start is deleted again.
bool start_copy_in(const std::wstring& folder, const std::vector<std::wstring>& more_args) {
  const AppState& s = app_state();
  remove_idle_copies(folder);
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
