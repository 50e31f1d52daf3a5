#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Finds the user's GTA V folder and tells whether a folder is one. Holds no state; every search
// answers with a path, empty meaning "not found". Runs on the thread that calls it.
namespace corvane {

// The folder (trailing separators ignored) holds something named "GTA5.exe". False for an empty
// folder.
bool is_game_dir(std::wstring_view folder);

// The start-up proposal: the game folder saved in the client's launcher.json while it is still a
// game folder, else locate_game_dir().
std::wstring find_game_dir(std::wstring_view install_dir);
// gamePath of the launcher.json in `install_dir`, trailing separators removed; empty when none.
std::wstring saved_game_dir(std::wstring_view install_dir);
// The first answer of the Rockstar Games key, the Steam libraries and the Epic Games manifests.
std::wstring locate_game_dir();

// The Rockstar Games launcher's "InstallFolder" when it is a game folder.
std::wstring game_dir_from_rockstar();
// The game's folder in Steam's own folder or in a library that libraryfolders.vdf lists.
std::wstring game_dir_from_steam();
// The "InstallLocation" of the first Epic Games manifest whose "DisplayName" is exactly
// "Grand Theft Auto V" and whose folder is a game folder.
std::wstring game_dir_from_epic();

// Every value that follows "key" in `text` as a quoted string, in text order, with any spaces,
// tabs and colons between: the VDF and JSON forms alike. A backslash takes the next byte
// literally. Knows no nesting.
std::vector<std::string> scan_quoted_values(std::string_view text, std::string_view key);

// The whole file; empty when it cannot be opened or holds more than kMaxScannedFileBytes.
std::string read_file_bytes(std::wstring_view path);
inline constexpr std::size_t kMaxScannedFileBytes = 8u << 20;

}  // namespace corvane
