#include "json/json_cursor.h"

#include "os/text.h"

namespace corvane {
namespace {

constexpr std::int32_t kMaxSkipDepth = 32;
constexpr std::uint64_t kMaxDigits = 19;
// The bytes a skipped scalar may consist of: every JSON number and true, false, null.
constexpr std::string_view kScalarBytes = "+-.0123456789eEtrufalsn";

bool is_whitespace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

JsonCursor::JsonCursor(std::string_view text) : text_(text) {
  if (text_.size() >= 3 && text_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
}

void JsonCursor::skip_whitespace() {
  while (pos_ < text_.size() && is_whitespace(text_[pos_])) ++pos_;
}

bool JsonCursor::expect_char(char c) {
  skip_whitespace();
  if (pos_ >= text_.size() || text_[pos_] != c) return false;
  ++pos_;
  return true;
}

bool JsonCursor::at_end() {
  skip_whitespace();
  return pos_ == text_.size();
}

bool JsonCursor::read_hex4(std::uint32_t& unit) {
  if (text_.size() - pos_ < 4) return false;
  unit = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = hex_value(text_[pos_++]);
    if (digit < 0) return false;
    unit = (unit << 4) | static_cast<std::uint32_t>(digit);
  }
  return true;
}

bool JsonCursor::read_unicode_escape(std::string& out) {
  std::uint32_t unit = 0;
  if (!read_hex4(unit)) return false;
  std::uint32_t cp = unit;
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    if (text_.size() - pos_ < 2 || text_[pos_] != '\\' || text_[pos_ + 1] != 'u') return false;
    pos_ += 2;
    std::uint32_t low = 0;
    if (!read_hex4(low)) return false;
    if (low < 0xDC00 || low > 0xDFFF) return false;
    cp = ((unit - 0xD800) << 10) + (low - 0xDC00) + 0x10000;
  } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
    return false;
  }
  os::append_utf8(out, static_cast<char32_t>(cp));
  return true;
}

bool JsonCursor::read_string(std::string& out) {
  out.clear();
  if (!expect_char('"')) return false;
  for (;;) {
    if (pos_ >= text_.size()) return false;
    const char b = text_[pos_++];
    if (b == '"') return true;
    if (static_cast<unsigned char>(b) < 0x20) return false;
    if (b != '\\') {
      out.push_back(b);
      continue;
    }
    if (pos_ >= text_.size()) return false;
    const char e = text_[pos_++];
    switch (e) {
      case '"':
      case '/':
      case '\\': out.push_back(e); break;
      case 'b': out.push_back('\b'); break;
      case 'f': out.push_back('\f'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case 'u':
        if (!read_unicode_escape(out)) return false;
        break;
      default: return false;
    }
  }
}

bool JsonCursor::read_unsigned(std::uint64_t& out) {
  skip_whitespace();
  const std::uint64_t start = pos_;
  out = 0;
  while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
    if (pos_ - start >= kMaxDigits) return false;
    out = out * 10 + static_cast<std::uint64_t>(text_[pos_] - '0');
    ++pos_;
  }
  return pos_ > start;
}

bool JsonCursor::skip_value(std::int32_t depth) {
  if (depth > kMaxSkipDepth) return false;
  skip_whitespace();
  if (pos_ >= text_.size()) return false;
  const char c = text_[pos_];
  if (c == '"') {
    std::string scratch;
    return read_string(scratch);
  }
  if (c == '{') {
    ++pos_;
    if (expect_char('}')) return true;
    std::string name;
    do {
      if (!read_string(name) || !expect_char(':') || !skip_value(depth + 1)) return false;
    } while (expect_char(','));
    return expect_char('}');
  }
  if (c == '[') {
    ++pos_;
    if (expect_char(']')) return true;
    do {
      if (!skip_value(depth + 1)) return false;
    } while (expect_char(','));
    return expect_char(']');
  }
  const std::uint64_t start = pos_;
  while (pos_ < text_.size() && text_[pos_] != '\0' &&
         kScalarBytes.find(text_[pos_]) != std::string_view::npos) {
    ++pos_;
  }
  return pos_ > start;
}

}  // namespace corvane
