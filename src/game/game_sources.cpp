#include <string>
#include <vector>

#include "base/paths.h"
#include "game/game_locator.h"
#include "os/fs.h"
#include "os/known_folders.h"
#include "os/platform.h"
#include "os/registry.h"
#include "os/text.h"

namespace corvane {
namespace {

constexpr std::wstring_view kGameName = L"Grand Theft Auto V";

// folder + sep + each of `names` + sep ... in turn.
std::wstring below(std::wstring folder, std::initializer_list<std::wstring_view> names) {
  for (const std::wstring_view name : names) folder = join_path(folder, name);
  return folder;
}

bool has_item_extension(std::wstring_view name) {
  constexpr std::wstring_view kExtension = L".item";
  // Matched like the "*.item" pattern of a directory search: letter case ignored.
  return name.size() >= kExtension.size() &&
         os::equal_ignoring_case(name.substr(name.size() - kExtension.size()), kExtension);
}

// The game folder named by one Epic Games manifest, or empty.
std::wstring game_dir_from_epic_manifest(const std::string& text) {
  const std::vector<std::string> names = scan_quoted_values(text, "DisplayName");
  const std::vector<std::string> locations = scan_quoted_values(text, "InstallLocation");
  if (names.empty() || locations.empty() || os::from_utf8(names.front()) != kGameName) return {};
  std::wstring candidate = trim_trailing_slashes(os::from_utf8(locations.front()));
  return is_game_dir(candidate) ? candidate : std::wstring();
}

}  // namespace

std::wstring game_dir_from_rockstar() {
  const std::wstring folder =
      os::read_registry_string(os::RegistryRoot::LocalMachine,
                               L"SOFTWARE\\WOW6432Node\\Rockstar Games\\Grand Theft Auto V", L"InstallFolder");
  return is_game_dir(folder) ? trim_trailing_slashes(folder) : std::wstring();
}

std::wstring game_dir_from_steam() {
  std::wstring steam =
      os::read_registry_string(os::RegistryRoot::CurrentUser, L"Software\\Valve\\Steam", L"SteamPath");
  if (steam.empty()) {
    steam = os::read_registry_string(os::RegistryRoot::LocalMachine, L"SOFTWARE\\WOW6432Node\\Valve\\Steam",
                                     L"InstallPath");
  }
  if (steam.empty()) return {};

  std::vector<std::wstring> libraries{trim_trailing_slashes(steam)};
  const std::string vdf = read_file_bytes(below(libraries.front(), {L"steamapps", L"libraryfolders.vdf"}));
  for (const std::string& path : scan_quoted_values(vdf, "path")) {
    libraries.push_back(trim_trailing_slashes(os::from_utf8(path)));
  }
  for (const std::wstring& library : libraries) {
    std::wstring candidate = below(library, {L"steamapps", L"common", kGameName});
    for (wchar_t& c : candidate) {
      if (c == L'/') c = os::kSep;
    }
    if (is_game_dir(candidate)) return candidate;
  }
  return {};
}

std::wstring game_dir_from_epic() {
  const std::wstring program_data = os::known_folder_path(os::KnownFolder::ProgramData);
  // Without the folder the manifests' place is unknown; an empty base would name the drive root.
  if (program_data.empty()) return {};
  const std::wstring base = below(program_data, {L"Epic", L"EpicGamesLauncher", L"Data", L"Manifests"});
  std::vector<os::DirEntry> entries;
  if (!os::list_directory(base, entries)) return {};
  for (const os::DirEntry& entry : entries) {
    if (!has_item_extension(entry.name)) continue;
    std::wstring found = game_dir_from_epic_manifest(read_file_bytes(join_path(base, entry.name)));
    if (!found.empty()) return found;
  }
  return {};
}

}  // namespace corvane
