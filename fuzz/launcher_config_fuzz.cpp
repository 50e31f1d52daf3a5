// launcher.json reader and writer: any text loads without harm, within the list limits, and what
// the writer makes of it is strictly valid JSON that loads back to the same configuration.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/launcher_text.h"
#include "json/json_cursor.h"
#include "json/json_strict.h"

namespace {

void check_servers(const std::vector<corvane::ServerEntry>& list, std::size_t limit) {
  if (list.size() > limit) __builtin_trap();
  for (const corvane::ServerEntry& entry : list) {
    if (!corvane::is_valid_host(entry.host) || entry.port == 0) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // load_launcher_config reads launcher.json through this function.
  const corvane::LauncherConfig first = corvane::parse_launcher_config(text);
  if (first.resources.size() > corvane::kMaxResources) __builtin_trap();
  check_servers(first.history, corvane::kMaxHistory);
  check_servers(first.favorites, corvane::kMaxFavorites);

  // save_launcher_config writes this text; the client parses it as JSON.
  const std::string written = corvane::format_launcher_config(first);
  corvane::JsonCursor cursor(written);
  if (!cursor.skip_value(0) || !cursor.at_end()) __builtin_trap();
  if (!corvane::is_json_value(written)) __builtin_trap();
  const corvane::LauncherConfig second = corvane::parse_launcher_config(written);
  if (!(second == first)) __builtin_trap();
  if (corvane::format_launcher_config(second) != written) __builtin_trap();

  // The older history and favourites files are read line by line into the same lists.
  std::vector<corvane::ServerEntry> imported;
  corvane::for_each_line(text, [&](std::string_view line) {
    corvane::add_server_entry(imported, corvane::kMaxHistory, line);
  });
  check_servers(imported, corvane::kMaxHistory);
  return 0;
}
