#include "app/run_modes.h"

#include "ui/app_state.h"
#include "app/relaunch.h"
#include "base/paths.h"
#include "game/game_locator.h"
#include "install/install_location.h"
#include "install/install_target.h"
#include "os/text.h"
#include "ui/ui_host.h"

namespace corvane {
namespace {

bool show_error_and_stop(const wchar_t* text) {
  (void)app_state().host->message_box(text, MessageBoxKind::Error);
  return false;
}

}  // namespace

bool parse_command_line(const std::vector<std::wstring>& args, const std::wstring& module_path) {
  AppState& s = app_state();
  s.module_path = module_path;
  bool uninstall = os::equal_ignoring_case(file_name_of(module_path), L"uninstall.exe");
  std::wstring folder;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (os::equal_ignoring_case(args[i], L"/uninstall")) {
      uninstall = true;
    } else if (uninstall && folder.empty()) {
      folder = args[i];
    }
  }

  if (!uninstall) {
    s.mode = RunMode::Install;
    s.install_dir = default_install_dir();
    s.game_dir = find_game_dir(s.install_dir);
    return true;
  }
  s.mode = RunMode::Uninstall;
  if (!folder.empty()) {
    s.install_dir = trim_trailing_slashes(folder);
    // Only a folder that this client or its setup made: another program's "uninstall.exe" does
    // not make one, and the uninstall would remove names such as bin and data from it.
    if (is_setup_client_dir(s.install_dir, module_path)) return true;
    return show_error_and_stop(L"Клиент не найден в указанной папке.");
  }
  // The uninstaller inside the client folder: it cannot remove the folder it runs from, so a
  // copy in the temporary folder does the work.
  s.install_dir = parent_dir(module_path);
  if (!is_setup_client_dir(s.install_dir, module_path)) return show_error_and_stop(L"Клиент не найден в этой папке.");
  if (!relaunch_from_temp()) return show_error_and_stop(L"Не удалось запустить удаление.");
  return false;
}

}  // namespace corvane
