#include "game/game_locator.h"
#include "os/file.h"

namespace corvane {

std::vector<std::string> scan_quoted_values(std::string_view text, std::string_view key) {
  std::string needle;
  needle.reserve(key.size() + 2);
  needle.append("\"").append(key).append("\"");
  std::vector<std::string> values;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t found = text.find(needle, pos);
    if (found == std::string_view::npos) return values;
    pos = found + needle.size();
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == ':')) ++pos;
    const std::size_t open = text.find('"', pos);
    if (open == std::string_view::npos) return values;
    std::string value;
    pos = open + 1;
    while (pos < text.size() && text[pos] != '"') {
      if (text[pos] == '\\' && pos + 1 < text.size()) ++pos;
      value.push_back(text[pos]);
      ++pos;
    }
    values.push_back(std::move(value));
  }
}

std::string read_file_bytes(std::wstring_view path) {
  os::File file;
  if (file.open(path, os::OpenMode::ReadExisting) != os::kErrorSuccess) return {};
  std::string bytes;
  char block[4096];
  for (;;) {
    std::size_t read = 0;
    if (file.read(block, sizeof block, read) != os::kErrorSuccess || read == 0) return bytes;
    // Steam's library list and Epic's manifests are a few kilobytes; anything far larger is not
    // one of them and is not worth holding in memory at start-up.
    if (bytes.size() + read > kMaxScannedFileBytes) return {};
    bytes.append(block, read);
  }
}

}  // namespace corvane
