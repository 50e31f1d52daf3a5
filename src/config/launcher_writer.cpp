#include <string>

#include "config/known_servers.h"
#include "config/launcher_text.h"
#include "json/json_fields.h"
#include "json/json_strict.h"

namespace corvane {
namespace {

// A string value between quotes. Bytes that are not UTF-8 would make the file unreadable for a
// strict parser; they are written as U+FFFD.
std::string quoted_text(std::string_view value) { return escape_json_text(valid_utf8(value)); }

void append_string_member(std::string& out, std::string_view name, std::string_view value) {
  out.append("  \"").append(name).append("\":\"").append(quoted_text(value)).append("\",\n");
}

// `open` and `close` enclose the entries, one a line, indented by four spaces; an empty list is
// the two characters on the member's line.
template <typename Entry, typename WriteEntry>
void append_block(std::string& out, std::string_view name, char open, char close,
                  const std::vector<Entry>& entries, WriteEntry&& write_entry) {
  out.append("  \"").append(name).append("\": ");
  out.push_back(open);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    out.append(i == 0 ? "\n    " : ",\n    ");
    write_entry(out, entries[i]);
  }
  if (!entries.empty()) out.append("\n  ");
  out.push_back(close);
}

void append_resource(std::string& out, const ResourceEntry& entry) {
  out.append("{\"folder\":\"").append(quoted_text(entry.folder));
  out.append("\",\"host\":\"").append(quoted_text(entry.host));
  out.append("\",\"port\":").append(std::to_string(entry.port)).append("}");
}

void append_setting(std::string& out, const SettingPair& pair) {
  // The key is kept as the file had it, escapes included; escaping it again would add a
  // backslash before every backslash and quote on each save.
  out.append("\"").append(pair.key).append("\":").append(pair.value);
}

void append_server(std::string& out, const ServerEntry& entry) {
  out.append("{\"id\":\"").append(known_server_id(entry.host, entry.port));
  out.append("\",\"host\":\"").append(quoted_text(entry.host));
  out.append("\",\"port\":").append(std::to_string(entry.port));
  out.append(",\"name\":\"").append(quoted_text(entry.name));
  out.append("\",\"at\":").append(std::to_string(entry.at)).append("}");
}

}  // namespace

std::string format_launcher_config(const LauncherConfig& config) {
  std::string out = "{\n";
  append_string_member(out, "gamePath", config.gamePath);
  append_string_member(out, "clientVersion", config.clientVersion);
  append_string_member(out, "channel", config.channel);
  append_string_member(out, "serial", config.serial);
  append_block(out, "resources", '[', ']', config.resources, append_resource);
  out.append(",\n");
  // Only members that keep the object valid JSON, each name once.
  append_block(out, "settings", '{', '}', normalized_settings(config.settings), append_setting);
  out.append(",\n");
  append_block(out, "history", '[', ']', config.history, append_server);
  out.append(",\n");
  append_block(out, "favorites", '[', ']', config.favorites, append_server);
  out.append("\n}\n");
  return out;
}

}  // namespace corvane
