#pragma once
#include <string_view>

// Which folders an install may write into. An install puts the client's names into its folder
// (bin, data, logs, update, config.json, ...) and the uninstall later removes each of them with
// everything below it, so a folder that already holds someone else's files never becomes a client
// folder, and the game's folder is never one at all.
namespace corvane {

enum class InstallTarget {
  Usable,         // missing, empty, or a folder of this client
  GameFolder,     // the GTA V folder, or a folder inside it
  ForeignFolder,  // a folder that holds files and is no client folder
};

// `folder` or one of the folders above it holds the game: "GTA5.exe" (is_game_dir), and, where the
// client's "Corvane.exe" is there too (the client carries a GTA5.exe of its own), a file that only
// the game has ("common.rpf", "x64a.rpf", "update/update.rpf"). Checked by name, as the path is
// written: a link on the way is followed by the tests themselves.
bool within_game_dir(std::wstring_view folder);

// A folder that this client or its setup made, judged by what they write there: the setup runs
// from its "uninstall.exe" (paths_equal), or it holds "Corvane.exe"
// (the client's program), a launcher.json that names a client version or a game folder, or an
// "uninstall.exe" that is a plain file with the very bytes of `setup_program` (an install that
// stopped before it configured the client). An "uninstall.exe" of another program does not count.
bool is_setup_client_dir(std::wstring_view folder, std::wstring_view setup_program);

// Whether an install of `setup_program` may use `folder`. Reads only; nothing is written.
InstallTarget check_install_target(std::wstring_view folder, std::wstring_view setup_program);

}  // namespace corvane
