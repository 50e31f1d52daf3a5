#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "config/launcher_text.h"
#include "json/json_cursor.h"
#include "json/json_fields.h"
#include "json/json_strict.h"

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

// A string member as the writer writes it back: the writer drops bytes below 0x20 and writes
// U+FFFD for bytes that are not UTF-8, so the same happens here and a loaded configuration is
// exactly what the next save writes.
std::string text_field(std::string_view line, std::string_view key) {
  std::string value = find_string_field(line, key);
  std::erase_if(value, [](char c) { return static_cast<unsigned char>(c) < 0x20; });
  return valid_utf8(value);
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

struct MemberParts {
  std::string_view key;    // between the quotes, escapes as they stand
  std::string_view value;  // trailing commas and blanks and leading blanks removed; may be empty
};

// The key and value of a member line: after leading blanks a quote, the key up to the first
// quote followed by a colon, the value after that colon.
std::optional<MemberParts> member_parts(std::string_view line) {
  const std::string_view rest = without_leading_blanks(line);
  if (rest.empty() || rest[0] != '"') return std::nullopt;
  const std::size_t key_end = rest.find("\":", 1);
  if (key_end == std::string_view::npos) return std::nullopt;
  std::string_view value = rest.substr(key_end + 2);
  while (!value.empty() && (value.back() == ',' || value.back() == ' ' || value.back() == '\r' ||
                            value.back() == '\t')) {
    value.remove_suffix(1);
  }
  return MemberParts{rest.substr(1, key_end - 1), without_leading_blanks(value)};
}

// The member name as a JSON parser reads it (escapes decoded), for finding repeated names.
std::string decoded_key(std::string_view key) {
  std::string quoted = "\"";
  quoted.append(key).append("\"");
  JsonCursor cursor(quoted);
  std::string decoded;
  return cursor.read_string(decoded) ? decoded : std::string(key);
}

// The bracket depth that `text` leaves open: each '{' or '[' outside a string opens one level,
// each '}' or ']' closes one. A string does not run on past the end of the text.
int open_depth(std::string_view text) {
  int depth = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return depth;
}

// Where values spread over several lines end, found with one pass over the bracket depths of
// all lines, so that a file full of values that never close costs no more than one read.
class SpreadValues {
 public:
  explicit SpreadValues(const std::vector<std::string_view>& lines) : lines_(lines) {
    long depth = 0;
    for (const std::string_view line : lines) prefix_.push_back(depth += open_depth(line));
    suffix_min_.resize(prefix_.size());
    for (std::size_t i = prefix_.size(); i-- > 0;) {
      suffix_min_[i] = i + 1 < prefix_.size() ? std::min(prefix_[i], suffix_min_[i + 1]) : prefix_[i];
    }
  }

  // When lines[first] is a member whose value is spread over several lines (an object or array
  // opened on the member's line, or on the next line when the member's line ends at the colon),
  // the index of the line that closes that value. Nothing when the value is not spread, or is
  // never closed: then only the member's own line is passed over.
  std::optional<std::size_t> end_of(std::size_t first) const {
    const auto parts = member_parts(lines_[first]);
    if (!parts) return std::nullopt;
    std::size_t opening = first;
    if (parts->value.empty()) {
      if (first + 1 >= lines_.size()) return std::nullopt;
      const std::string_view next = without_leading_blanks(lines_[first + 1]);
      if (next.empty() || (next[0] != '{' && next[0] != '[')) return std::nullopt;
      opening = first + 1;
    }
    const long before = opening == 0 ? 0 : prefix_[opening - 1];
    if (prefix_[opening] <= before) return std::nullopt;  // nothing left open on that line
    if (opening + 1 >= lines_.size() || suffix_min_[opening + 1] > before) return std::nullopt;
    std::size_t close = opening + 1;
    while (prefix_[close] > before) ++close;
    return close;
  }

 private:
  const std::vector<std::string_view>& lines_;
  std::vector<long> prefix_;      // the depth after each line
  std::vector<long> suffix_min_;  // the least depth after any line from this one on
};

// The settings in file order; a name that comes again takes its new value in the place where it
// first stood, as a JSON parser that keeps the last value sees the object.
class SettingsList {
 public:
  explicit SettingsList(std::vector<SettingPair>& settings) : settings_(settings) {}

  void add(SettingPair pair) {
    const auto [it, inserted] = index_.try_emplace(decoded_key(pair.key), settings_.size());
    if (inserted) {
      settings_.push_back(std::move(pair));
    } else {
      settings_[it->second].value = std::move(pair.value);
    }
  }

 private:
  std::vector<SettingPair>& settings_;
  std::unordered_map<std::string, std::size_t> index_;
};

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

std::vector<SettingPair> normalized_settings(const std::vector<SettingPair>& settings) {
  std::vector<SettingPair> out;
  SettingsList list(out);
  for (const SettingPair& pair : settings) {
    if (is_valid_setting(pair.key, pair.value)) list.add(pair);
  }
  return out;
}

bool is_valid_setting(std::string_view key, std::string_view value) {
  if (key.empty() || value.empty() || !is_json_value(value)) return false;
  // The key goes back between quotes as it stands: it must be a whole JSON string body.
  std::string quoted = "\"";
  quoted.append(key).append("\"");
  return is_json_value(quoted);
}

std::optional<SettingPair> split_member_line(std::string_view line) {
  const auto parts = member_parts(line);
  if (!parts || !is_valid_setting(parts->key, parts->value)) return std::nullopt;
  return SettingPair{std::string(parts->key), std::string(parts->value)};
}

LauncherConfig parse_launcher_config(std::string_view text) {
  LauncherConfig config;
  std::vector<std::string_view> lines;
  for_each_line(text, [&lines](std::string_view line) { lines.push_back(line); });
  SettingsList settings(config.settings);
  const SpreadValues spread(lines);
  Section section = Section::None;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
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
          if (auto pair = split_member_line(line)) {
            settings.add(std::move(*pair));
          } else if (const auto end = spread.end_of(i)) {
            // A value spread over lines is passed over whole: its inner members are not settings.
            i = *end;
          }
          break;
        case Section::History: add_server_entry(config.history, kMaxHistory, line); break;
        case Section::Favorites: add_server_entry(config.favorites, kMaxFavorites, line); break;
      }
    }
  }
  return config;
}

}  // namespace corvane
