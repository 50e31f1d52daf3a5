#include "install/install_run.h"

#include "base/paths.h"
#include "config/launcher_config.h"
#include "install/folder_access.h"
#include "install/install_target.h"
#include "install/programs_entry.h"
#include "install/shortcuts.h"
#include "os/fs.h"

namespace corvane {
namespace {

// Copies the running program to `target` through a new file beside it, moved into place: the copy
// never writes through a link at either name (a link at the target is replaced as a link).
bool copy_uninstaller(const std::wstring& source, const std::wstring& target) {
  const std::wstring temporary = target + L".tmp";
  (void)os::delete_file(temporary);  // a leftover of an interrupted run, or a link, goes as itself
  if (os::copy_file(source, temporary, /*fail_if_exists=*/true) != os::kErrorSuccess) {
    (void)os::delete_file(temporary);
    return false;
  }
  if (os::move_file(temporary, target, os::kMoveReplaceExisting | os::kMoveWriteThrough) != os::kErrorSuccess) {
    (void)os::delete_file(temporary);
    return false;
  }
  return true;
}

}  // namespace

void run_install(const InstallRequest& request, const UpdateStep& update, RunReport& report) {
  const std::wstring& dir = request.install_dir;
  report.stage(L"manifest");
  // Before anything is written: the uninstall later removes the client's names with everything
  // below them, so they never go into the game's folder or among someone else's files.
  switch (check_install_target(dir, request.module_path)) {
    case InstallTarget::GameFolder:
      report.failed(RunError::GameFolder, dir, nullptr);
      return;
    case InstallTarget::ForeignFolder:
      report.failed(RunError::ForeignFolder, dir, nullptr);
      return;
    case InstallTarget::Usable:
      break;
  }
  if (!ensure_client_folder(dir) || !can_write_folder(dir)) {
    report.failed(RunError::FolderNotWritable, dir, nullptr);
    return;
  }

  // The uninstaller is this very program, unless it already runs from that file.
  const std::wstring uninstaller = join_path(dir, L"uninstall.exe");
  if (!paths_equal(request.module_path, uninstaller) && !copy_uninstaller(request.module_path, uninstaller)) {
    report.failed(RunError::UninstallerNotWritten, dir, nullptr);
    return;
  }

  report.stage(L"download");
  UpdateResult result;
  ProgressCallback progress = progress_to(report);
  progress.cancel = request.cancel;  // a close of the window stops the update
  if (update(dir, result, progress) == kFailed) {
    report.failed(RunError::Update, dir, &result);
    return;
  }

  report.stage(L"configure");
  (void)set_client_version(dir, result.version);
  if (!request.game_dir.empty() && !store_game_path(dir, request.game_dir)) {
    report.failed(RunError::GamePathNotStored, dir, nullptr);
    return;
  }
  // A shortcut that cannot be made is passed over in silence.
  const std::wstring client = join_path(dir, L"Corvane.exe");
  if (request.desktop_shortcut) (void)create_shortcut(desktop_shortcut_path(), client, request);
  if (request.start_menu_shortcut) (void)create_shortcut(start_menu_shortcut_path(), client, request);
  if (!write_programs_entry(request, result.version)) {
    report.failed(RunError::ProgramsEntryNotWritten, dir, nullptr);
    return;
  }
  report.installed(result.version, result.date);
}

}  // namespace corvane
