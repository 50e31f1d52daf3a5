#include "game/game_locator.h"

#include "base/paths.h"
#include "config/launcher_config.h"
#include "os/text.h"

namespace corvane {

bool is_game_dir(std::wstring_view folder) {
  // A NUL would end the path at the system call, so a folder that is merely a prefix of this text
  // would be tested instead.
  if (folder.empty() || folder.find(L'\0') != std::wstring_view::npos) return false;
  return path_exists(join_path(trim_trailing_slashes(folder), L"GTA5.exe"));
}

std::wstring saved_game_dir(std::wstring_view install_dir) {
  return trim_trailing_slashes(os::from_utf8(read_saved_game_path(install_dir)));
}

std::wstring find_game_dir(std::wstring_view install_dir) {
  std::wstring saved = saved_game_dir(install_dir);
  if (is_game_dir(saved)) return saved;
  return locate_game_dir();
}

std::wstring locate_game_dir() {
  for (auto source : {game_dir_from_rockstar, game_dir_from_steam, game_dir_from_epic}) {
    std::wstring found = source();
    if (!found.empty()) return found;
  }
  return {};
}

}  // namespace corvane
