#include "install/shortcuts.h"

#include "base/paths.h"
#include "install/folder_access.h"
#include "os/known_folders.h"
#include "os/shell.h"

namespace corvane {
namespace {

std::wstring shortcut_in(os::KnownFolder folder) {
  const std::wstring dir = os::known_folder_path(folder);
  if (dir.empty()) return {};
  return join_path(dir, std::wstring(L"Corvane") + std::wstring(os::kShellLinkSuffix));
}

}  // namespace

std::wstring desktop_shortcut_path() { return shortcut_in(os::KnownFolder::Desktop); }

std::wstring start_menu_shortcut_path() { return shortcut_in(os::KnownFolder::Programs); }

bool create_shortcut(std::wstring_view shortcut_path, std::wstring_view target, const InstallRequest& request) {
  if (shortcut_path.empty()) return false;
  // The Windows folders always exist; the Linux data folder of a new user may not yet.
  if (!ensure_directory(parent_dir(shortcut_path))) return false;
  os::ShellLink link;
  link.target = target;
  link.working_dir = request.install_dir;
  link.description = L"Corvane";
  link.icon = target;
  return os::save_shell_link(shortcut_path, link);
}

}  // namespace corvane
