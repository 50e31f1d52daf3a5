#include "app/relaunch.h"

#include <random>
#include <string>

#include "app/app_state.h"
#include "os/fs.h"
#include "os/process_spawn.h"

namespace corvane {
namespace {

constexpr wchar_t kTempCopyName[] = L"Corvane-Uninstall.exe";

std::wstring random_suffix() {
  std::random_device device;
  std::wstring out;
  for (int i = 0; i < 4; ++i) out += std::to_wstring(device() % 10000);
  return out;
}

}  // namespace

bool relaunch_from_temp() {
  const AppState& s = app_state();
  const std::wstring temp = os::temp_dir();
  const std::wstring copy = temp + kTempCopyName;
  // The copy is written under a fresh name and then moved over an older copy. A name that
  // somebody else has placed in a shared temporary folder (a link, a file of another owner) is
  // thus never written through, and the program started is the one just written.
  const std::wstring staging = copy + L"." + random_suffix() + L".tmp";
  if (const os::ErrorCode e = os::copy_file(s.module_path, staging, /*fail_if_exists=*/true)) {
    if (e != os::kErrorFileExists) (void)os::delete_file(staging);
    return false;
  }
  if (os::move_file(staging, copy, os::kMoveReplaceExisting) != os::kErrorSuccess) {
    (void)os::delete_file(staging);
    return false;
  }
  return os::start_process(copy, {L"/uninstall", s.install_dir}, temp, /*new_console=*/false);
}

void schedule_self_delete() { os::delete_executable_after_exit(app_state().module_path); }

}  // namespace corvane
