#include "config/launcher_config.h"

#include "base/paths.h"
#include "config/launcher_text.h"
#include "os/fs.h"
#include "os/text.h"

namespace corvane {
namespace {

constexpr std::wstring_view kFileName = L"launcher.json";
constexpr std::wstring_view kDataFolder = L"data";
constexpr std::wstring_view kHistoryFile = L"history.json";
constexpr std::wstring_view kFavoritesFile = L"favorites.json";

std::wstring data_file(std::wstring_view client_dir, std::wstring_view name) {
  return join_path(join_path(client_dir, kDataFolder), name);
}

bool is_missing(os::ErrorCode e) { return e == os::kErrorFileNotFound || e == os::kErrorPathNotFound; }

// Reads one file of the configuration: true with its bytes, false when there is none; `error`
// keeps the first failure to read a file that is there.
// A file of the configuration is a plain file of its own, read without following a link or waiting
// on a pipe, and never larger than this.
constexpr std::size_t kConfigFileLimit = 4u << 20;

bool read_part(std::wstring_view path, std::string& text, os::ErrorCode& error) {
  const os::ErrorCode e = os::read_plain_file(path, kConfigFileLimit, text);
  if (e != os::kErrorSuccess && !is_missing(e) && error == os::kErrorSuccess) error = e;
  return e == os::kErrorSuccess;
}

// Appends every line of an older list file that makes a valid entry, up to the limit.
void import_server_list(std::wstring_view path, std::vector<ServerEntry>& list, std::size_t limit,
                        os::ErrorCode& error) {
  std::string text;
  if (!read_part(path, text, error)) return;
  for_each_line(text, [&](std::string_view line) { add_server_entry(list, limit, line); });
}

// The configuration as load_launcher_config reads it, and the code of the first file that is there
// but could not be read (no permission, a sharing violation, an I/O error, a folder in its place):
// what a save would then write is not what the files hold, and they must be left as they are.
LauncherConfig load(std::wstring_view client_dir, os::ErrorCode& error) {
  error = os::kErrorSuccess;
  std::string text;
  if (read_part(join_path(client_dir, kFileName), text, error)) return parse_launcher_config(text);

  // The older layout keeps history and favourites in files of their own beside data\launcher.json.
  // The first save deletes all three, so the lists are imported whenever the older files are read,
  // unless the older launcher.json already carried them.
  LauncherConfig config;
  if (read_part(data_file(client_dir, kFileName), text, error)) config = parse_launcher_config(text);
  if (config.history.empty()) {
    import_server_list(data_file(client_dir, kHistoryFile), config.history, kMaxHistory, error);
  }
  if (config.favorites.empty()) {
    import_server_list(data_file(client_dir, kFavoritesFile), config.favorites, kMaxFavorites, error);
  }
  return config;
}

}  // namespace

LauncherConfig load_launcher_config(std::wstring_view client_dir) {
  os::ErrorCode ignored = os::kErrorSuccess;
  return load(client_dir, ignored);
}

bool save_launcher_config(std::wstring_view client_dir, const LauncherConfig& config) {
  const std::string text = format_launcher_config(config);
  if (os::write_file_atomically(join_path(client_dir, kFileName), text) != os::kErrorSuccess) {
    return false;
  }
  for (const std::wstring_view name : {kFileName, kHistoryFile, kFavoritesFile}) {
    (void)os::delete_file(data_file(client_dir, name));  // a missing file is no error
  }
  return true;
}

bool set_client_version(std::wstring_view client_dir, std::string_view version) {
  os::ErrorCode error = os::kErrorSuccess;
  LauncherConfig config = load(client_dir, error);
  if (error != os::kErrorSuccess) return false;
  if (config.clientVersion == version) return true;
  config.clientVersion = std::string(version);
  return save_launcher_config(client_dir, config);
}

bool store_game_path(std::wstring_view client_dir, std::wstring_view game_dir) {
  const std::string path = os::to_utf8(trim_trailing_slashes(game_dir));
  os::ErrorCode error = os::kErrorSuccess;
  LauncherConfig config = load(client_dir, error);
  if (error != os::kErrorSuccess) return false;
  config.gamePath = path;
  return save_launcher_config(client_dir, config);
}

std::string read_saved_game_path(std::wstring_view client_dir) {
  return load_launcher_config(client_dir).gamePath;
}

}  // namespace corvane
