#include "install/install_target.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/paths.h"
#include "config/launcher_config.h"
#include "game/game_locator.h"
#include "os/file.h"
#include "os/fs.h"

namespace corvane {
namespace {

// Both are plain files (never reached through a link at their own names) with equal bytes.
bool same_bytes(std::wstring_view a, std::wstring_view b) {
  os::File first;
  os::File second;
  if (first.open(a, os::OpenMode::ReadExisting, os::OpenTarget::RegularFile) != os::kErrorSuccess ||
      second.open(b, os::OpenMode::ReadExisting, os::OpenTarget::RegularFile) != os::kErrorSuccess) {
    return false;
  }
  std::uint64_t size_a = 0;
  std::uint64_t size_b = 0;
  if (!first.size(size_a) || !second.size(size_b) || size_a != size_b) return false;
  std::string block_a(64 * 1024, '\0');
  std::string block_b(block_a.size(), '\0');
  for (std::uint64_t at = 0; at < size_a;) {
    std::size_t got_a = 0;
    std::size_t got_b = 0;
    if (first.read_at(at, block_a.data(), block_a.size(), got_a) != os::kErrorSuccess ||
        second.read_at(at, block_b.data(), got_a, got_b) != os::kErrorSuccess || got_a == 0 || got_a != got_b ||
        !std::equal(block_a.begin(), block_a.begin() + static_cast<std::ptrdiff_t>(got_a), block_b.begin())) {
      return false;
    }
    at += got_a;
  }
  return true;
}

bool is_plain_file(const std::wstring& path) {
  const auto info = os::file_info(path);
  return info && info->is_regular;
}

// Files of the game that the client never makes.
constexpr const wchar_t* kGameOnlyFiles[] = {L"common.rpf", L"x64a.rpf", L"update/update.rpf"};

// The folder holds the game. The client carries a "GTA5.exe" of its own, so a folder with the
// client's program counts as the game's only when a file that only the game has is there too
// (the game folder that an earlier install went into).
bool holds_game(const std::wstring& folder) {
  if (!is_game_dir(folder)) return false;
  if (!path_exists(join_path(folder, L"Corvane.exe"))) return true;
  for (const wchar_t* name : kGameOnlyFiles) {
    if (path_exists(join_path(folder, name))) return true;
  }
  return false;
}

}  // namespace

bool within_game_dir(std::wstring_view folder) {
  for (std::wstring at = trim_trailing_slashes(folder); !at.empty();) {
    if (holds_game(at)) return true;
    std::wstring up = parent_dir(at);
    if (up == at) break;
    at = std::move(up);
  }
  return false;
}

bool is_setup_client_dir(std::wstring_view folder, std::wstring_view setup_program) {
  if (folder.empty()) return false;
  const std::wstring uninstaller = join_path(folder, L"uninstall.exe");
  // The setup runs from that folder's uninstaller.
  if (!setup_program.empty() && paths_equal(setup_program, uninstaller)) return true;
  if (is_plain_file(join_path(folder, L"Corvane.exe"))) return true;
  if (is_plain_file(join_path(folder, L"launcher.json"))) {
    const LauncherConfig config = load_launcher_config(folder);
    if (!config.clientVersion.empty() || !config.gamePath.empty()) return true;
  }
  return !setup_program.empty() && same_bytes(uninstaller, setup_program);
}

InstallTarget check_install_target(std::wstring_view folder, std::wstring_view setup_program) {
  if (within_game_dir(folder)) return InstallTarget::GameFolder;
  const auto info = os::file_info(folder);
  // Nothing there yet, or a file of that name (which the write test turns down).
  if (!info || !info->is_directory) return InstallTarget::Usable;
  std::vector<os::DirEntry> entries;
  // A folder that cannot be listed cannot be judged: it is not used.
  if (!os::list_directory(folder, entries)) return InstallTarget::ForeignFolder;
  if (entries.empty() || is_setup_client_dir(folder, setup_program)) return InstallTarget::Usable;
  return InstallTarget::ForeignFolder;
}

}  // namespace corvane
