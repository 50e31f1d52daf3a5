#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The client's launcher.json in the client folder: the model, and the load, save and
// single-member updates that setup makes. Every call loads the file afresh; nothing is cached.
namespace corvane {

// A game server in the history or favourites list.
struct ServerEntry {
  std::string host;        // a valid host (letters, digits, '.', '-'; 1 to 253 bytes)
  std::uint16_t port = 0;  // 1 to 65535
  std::string name;
  std::int64_t at = 0;     // the client's own number, kept unchanged
  bool operator==(const ServerEntry&) const = default;
};

// A resource server of the client.
struct ResourceEntry {
  std::string folder;      // not empty
  std::string host;        // a valid host
  std::uint16_t port = 0;  // 1 to 65535
  bool operator==(const ResourceEntry&) const = default;
};

// One member of the "settings" object. `key` is the text between the quotes as it stands in the
// file (escapes not decoded) and `value` the member's raw JSON text; both are written back as they
// are.
struct SettingPair {
  std::string key;
  std::string value;
  bool operator==(const SettingPair&) const = default;
};

// The whole file. All strings are UTF-8; a default-constructed configuration is empty.
struct LauncherConfig {
  std::string gamePath;
  std::string clientVersion;
  std::string channel;                  // kept, never set by setup
  std::string serial;                   // opaque, kept, never set by setup
  std::vector<ResourceEntry> resources; // at most 50
  std::vector<SettingPair> settings;    // file order
  std::vector<ServerEntry> history;     // at most 30
  std::vector<ServerEntry> favorites;   // at most 200
  bool operator==(const LauncherConfig&) const = default;
};

// Reads client_dir\launcher.json, else the older data\launcher.json, else imports the older
// history and favourites lists. Never fails: what cannot be read stays empty.
LauncherConfig load_launcher_config(std::wstring_view client_dir);

// Writes the whole configuration to launcher.json through launcher.json.tmp and one move, so
// readers see the old file or the new one; then deletes the three older files under data\. False
// when the write or the move fails; the previous launcher.json is then untouched.
[[nodiscard]] bool save_launcher_config(std::wstring_view client_dir, const LauncherConfig& config);

// Loads, sets clientVersion and saves; true without writing when it already holds `version`. A
// file of the configuration that is there but cannot be read (anything but "does not exist") is
// never replaced: false, and nothing is written.
[[nodiscard]] bool set_client_version(std::wstring_view client_dir, std::string_view version);

// Stores the game folder (trailing separators removed, drive roots kept) as gamePath; always
// saves, even when the value is unchanged; false without writing when a file of the configuration
// is there but cannot be read.
[[nodiscard]] bool store_game_path(std::wstring_view client_dir, std::wstring_view game_dir);

// The saved gamePath, UTF-8; empty when there is none.
std::string read_saved_game_path(std::wstring_view client_dir);

}  // namespace corvane
