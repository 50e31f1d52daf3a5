#include "json/json_fields.h"

#include <cerrno>
#include <cstdlib>

namespace corvane {

std::string find_string_field(std::string_view text, std::string_view key) {
  std::string pattern;
  pattern.reserve(key.size() + 4);
  pattern.append("\"").append(key).append("\":\"");
  const std::size_t found = text.find(pattern);
  if (found == std::string_view::npos) return {};
  std::string value;
  for (std::size_t i = found + pattern.size(); i < text.size() && text[i] != '"'; ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) ++i;
    value.push_back(text[i]);
  }
  return value;
}

std::int64_t find_int_field(std::string_view text, std::string_view key) {
  std::string pattern;
  pattern.reserve(key.size() + 3);
  pattern.append("\"").append(key).append("\":");
  const std::size_t found = text.find(pattern);
  if (found == std::string_view::npos) return 0;
  // strtoll needs a terminated string; the number cannot reach beyond the rest of the text.
  const std::string rest(text.substr(found + pattern.size()));
  const int saved_errno = errno;
  const long long value = std::strtoll(rest.c_str(), nullptr, 10);
  errno = saved_errno;
  return static_cast<std::int64_t>(value);
}

std::string escape_json_text(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (static_cast<unsigned char>(c) >= 0x20) {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace corvane
