#include <cstdint>

#include "config/launcher_text.h"
#include "json/json_cursor.h"
#include "json/json_fields.h"

namespace corvane {
namespace {

enum class Section { None, Resources, Settings, History, Favorites };

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view without_leading_blanks(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && is_blank(text[start])) ++start;
  return text.substr(start);
}

bool is_host_byte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-';
}

// A string member as the writer can write it back: the writer drops bytes below 0x20, so they are
// dropped here too and a loaded configuration is exactly what the next save writes.
std::string text_field(std::string_view line, std::string_view key) {
  std::string value = find_string_field(line, key);
  std::erase_if(value, [](char c) { return static_cast<unsigned char>(c) < 0x20; });
  return value;
}

// The port of `line`, or 0 when it is outside 1 to 65535.
std::uint16_t port_field(std::string_view line) {
  const std::int64_t port = find_int_field(line, "port");
  return port >= 1 && port <= 65535 ? static_cast<std::uint16_t>(port) : 0;
}

void add_resource_entry(std::vector<ResourceEntry>& list, std::string_view line) {
  if (list.size() >= kMaxResources) return;
  ResourceEntry entry;
  entry.folder = text_field(line, "folder");
  entry.host = find_string_field(line, "host");
  entry.port = port_field(line);
  if (entry.folder.empty() || !is_valid_host(entry.host) || entry.port == 0) return;
  list.push_back(std::move(entry));
}

// A key can be written back between quotes only when it is a complete JSON string body.
bool is_string_body(std::string_view key) {
  std::string quoted;
  quoted.reserve(key.size() + 2);
  quoted.append("\"").append(key).append("\"");
  JsonCursor cursor(quoted);
  std::string decoded;
  return cursor.read_string(decoded) && cursor.at_end();
}

bool is_one_json_value(std::string_view value) {
  // The leading space keeps a byte order mark at the start of the value from being skipped as one.
  std::string text = " ";
  text.append(value);
  JsonCursor cursor(text);
  return cursor.skip_value(0) && cursor.at_end();
}

}  // namespace

bool line_has_key(std::string_view line, std::string_view name) {
  const std::string_view rest = without_leading_blanks(line);
  return rest.size() >= name.size() + 3 && rest[0] == '"' && rest.substr(1, name.size()) == name &&
         rest.substr(name.size() + 1, 2) == "\":";
}

bool is_valid_host(std::string_view host) {
  if (host.empty() || host.size() >= 254) return false;
  for (const char c : host) {
    if (!is_host_byte(c)) return false;
  }
  return true;
}

void add_server_entry(std::vector<ServerEntry>& list, std::size_t limit, std::string_view line) {
  if (list.size() >= limit) return;
  ServerEntry entry;
  entry.host = find_string_field(line, "host");
  entry.port = port_field(line);
  if (!is_valid_host(entry.host) || entry.port == 0) return;
  entry.name = text_field(line, "name");
  entry.at = find_int_field(line, "at");
  list.push_back(std::move(entry));
}

std::optional<SettingPair> split_member_line(std::string_view line) {
  const std::string_view rest = without_leading_blanks(line);
  if (rest.empty() || rest[0] != '"') return std::nullopt;
  const std::size_t key_end = rest.find("\":", 1);
  if (key_end == std::string_view::npos) return std::nullopt;
  std::string_view key = rest.substr(1, key_end - 1);
  std::string_view value = rest.substr(key_end + 2);
  while (!value.empty() && (value.back() == ',' || value.back() == ' ' || value.back() == '\r' ||
                            value.back() == '\t')) {
    value.remove_suffix(1);
  }
  value = without_leading_blanks(value);
  if (key.empty() || value.empty()) return std::nullopt;
  if (!is_string_body(key) || !is_one_json_value(value)) return std::nullopt;
  return SettingPair{std::string(key), std::string(value)};
}

LauncherConfig parse_launcher_config(std::string_view text) {
  LauncherConfig config;
  Section section = Section::None;
  for_each_line(text, [&](std::string_view line) {
    if (line_has_key(line, "gamePath")) {
      config.gamePath = text_field(line, "gamePath");
    } else if (line_has_key(line, "clientVersion")) {
      config.clientVersion = text_field(line, "clientVersion");
    } else if (line_has_key(line, "channel")) {
      config.channel = text_field(line, "channel");
    } else if (line_has_key(line, "serial")) {
      config.serial = text_field(line, "serial");
    } else if (line_has_key(line, "resources")) {
      section = Section::Resources;
    } else if (line_has_key(line, "settings")) {
      section = Section::Settings;
    } else if (line_has_key(line, "history")) {
      section = Section::History;
    } else if (line_has_key(line, "favorites")) {
      section = Section::Favorites;
    } else {
      switch (section) {
        case Section::None: break;
        case Section::Resources: add_resource_entry(config.resources, line); break;
        case Section::Settings:
          if (auto pair = split_member_line(line)) config.settings.push_back(std::move(*pair));
          break;
        case Section::History: add_server_entry(config.history, kMaxHistory, line); break;
        case Section::Favorites: add_server_entry(config.favorites, kMaxFavorites, line); break;
      }
    }
  });
  return config;
}

}  // namespace corvane
