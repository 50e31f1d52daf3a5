#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/launcher_config.h"

// The text form of launcher.json: the line reader and the fixed-layout writer behind
// load_launcher_config and save_launcher_config. Pure functions of their arguments.
namespace corvane {

inline constexpr std::size_t kMaxResources = 50;
inline constexpr std::size_t kMaxHistory = 30;
inline constexpr std::size_t kMaxFavorites = 200;

// Reads the layout that format_launcher_config writes, one member or list entry a line. A text
// in any other shape yields what its lines happen to match, possibly nothing.
LauncherConfig parse_launcher_config(std::string_view text);

// The whole file: LF line ends, no byte order mark, a final LF.
std::string format_launcher_config(const LauncherConfig& config);

// Calls `line_fn` for every line of `text`: split at each LF, a CR before it kept, no empty line
// after a final LF.
template <typename LineFn>
void for_each_line(std::string_view text, LineFn&& line_fn) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    line_fn(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

// After leading spaces and tabs, `line` begins with "name": (quotes, no space before the colon).
bool line_has_key(std::string_view line, std::string_view name);

// Not empty, shorter than 254 bytes, only A-Z, a-z, 0-9, '.' and '-'.
bool is_valid_host(std::string_view host);

// Appends the server entry of `line` to `list` when the list holds fewer than `limit` entries
// and the line has a valid host and a port from 1 to 65535; otherwise ignores the line.
void add_server_entry(std::vector<ServerEntry>& list, std::size_t limit, std::string_view line);

// A settings member line: "key": value, with trailing commas and blanks removed. Nothing when the
// line has no such shape or when is_valid_setting rejects the pair (such as the first line of a
// value spread over several lines).
std::optional<SettingPair> split_member_line(std::string_view line);

// Whether writing the pair back gives a JSON member: the key is not empty and a whole JSON string
// body, the value is exactly one valid JSON value (is_json_value).
bool is_valid_setting(std::string_view key, std::string_view value);

// The settings as one JSON object can hold them: only pairs that is_valid_setting accepts, each
// name (escapes decoded) once; a name that comes again takes its last value in the place where it
// first stood, as a parser that keeps the last value sees the object.
std::vector<SettingPair> normalized_settings(const std::vector<SettingPair>& settings);

}  // namespace corvane
