// The plain text scan over Steam's libraryfolders.vdf and Epic's manifests: any text and key give
// values without harm, never more values than the key occurs, and never longer than the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/paths.h"
#include "game/game_locator.h"
#include "os/text.h"

namespace {

std::size_t count_occurrences(std::string_view text, std::string_view needle) {
  std::size_t count = 0;
  for (std::size_t pos = text.find(needle); pos != std::string_view::npos; pos = text.find(needle, pos + 1)) {
    ++count;
  }
  return count;
}

void scan(std::string_view text, std::string_view key) {
  const std::vector<std::string> values = corvane::scan_quoted_values(text, key);
  const std::string needle = "\"" + std::string(key) + "\"";
  if (values.size() > count_occurrences(text, needle)) __builtin_trap();
  for (const std::string& value : values) {
    if (value.size() > text.size()) __builtin_trap();
    // What the Steam and Epic searches do with every value before testing a folder.
    (void)corvane::trim_trailing_slashes(corvane::os::from_utf8(value));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  for (const std::string_view key : {"path", "DisplayName", "InstallLocation"}) scan(input, key);
  // A key of the fuzzer's choosing: the bytes before the first line feed.
  const std::size_t end = input.find('\n');
  if (end != std::string_view::npos) scan(input.substr(end + 1), input.substr(0, end));
  return 0;
}
