#include "json/json_strict.h"

#include <cstdint>

namespace corvane {
namespace {

constexpr int kMaxDepth = 32;

// The length of the valid UTF-8 sequence at text[i], or 0 when none starts there.
std::size_t utf8_sequence_length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  const std::uint8_t b0 = byte(i);
  if (b0 < 0x80) return 1;
  std::size_t len = 0;
  std::uint32_t cp = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, cp = b0 & 0x1Fu;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0Fu;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, cp = b0 & 0x07u;
  } else {
    return 0;
  }
  if (text.size() - i < len) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3Fu);
  }
  // Overlong forms, encoded surrogates and code points beyond U+10FFFF are not UTF-8.
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF)) {
    return 0;
  }
  return len;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// A recursive-descent reader of the JSON grammar that keeps nothing.
class Validator {
 public:
  explicit Validator(std::string_view text) : text_(text) {}

  bool whole_text() {
    skip_whitespace();
    if (!value(0)) return false;
    skip_whitespace();
    return pos_ == text_.size();
  }

 private:
  bool at_end() const { return pos_ >= text_.size(); }
  char peek() const { return text_[pos_]; }

  void skip_whitespace() {
    while (!at_end() && (peek() == ' ' || peek() == '\t' || peek() == '\r' || peek() == '\n')) ++pos_;
  }

  bool take(char c) {
    skip_whitespace();
    if (at_end() || peek() != c) return false;
    ++pos_;
    return true;
  }

  bool value(int depth) {
    if (depth > kMaxDepth || at_end()) return false;
    switch (peek()) {
      case '{': return object(depth);
      case '[': return array(depth);
      case '"': return string();
      case 't': return literal("true");
      case 'f': return literal("false");
      case 'n': return literal("null");
      default: return number();
    }
  }

  bool object(int depth) {
    ++pos_;
    if (take('}')) return true;
    do {
      skip_whitespace();
      if (at_end() || peek() != '"' || !string() || !take(':')) return false;
      skip_whitespace();
      if (!value(depth + 1)) return false;
    } while (take(','));
    return take('}');
  }

  bool array(int depth) {
    ++pos_;
    if (take(']')) return true;
    do {
      skip_whitespace();
      if (!value(depth + 1)) return false;
    } while (take(','));
    return take(']');
  }

  bool literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool digits() {
    const std::size_t start = pos_;
    while (!at_end() && is_digit(peek())) ++pos_;
    return pos_ > start;
  }

  // -? (0 | [1-9][0-9]*) (.[0-9]+)? ([eE][+-]?[0-9]+)?
  bool number() {
    if (!at_end() && peek() == '-') ++pos_;
    if (at_end() || !is_digit(peek())) return false;
    if (peek() == '0') {
      ++pos_;
    } else {
      (void)digits();
    }
    if (!at_end() && peek() == '.') {
      ++pos_;
      if (!digits()) return false;
    }
    if (!at_end() && (peek() == 'e' || peek() == 'E')) {
      ++pos_;
      if (!at_end() && (peek() == '+' || peek() == '-')) ++pos_;
      if (!digits()) return false;
    }
    return true;
  }

  bool hex4(std::uint32_t& unit) {
    if (text_.size() - pos_ < 4) return false;
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      if (!is_hex(c)) return false;
      const std::uint32_t digit = is_digit(c) ? static_cast<std::uint32_t>(c - '0')
                                              : static_cast<std::uint32_t>((c | 0x20) - 'a' + 10);
      unit = (unit << 4) | digit;
    }
    return true;
  }

  bool string() {
    ++pos_;  // the opening quote
    for (;;) {
      if (at_end()) return false;
      const char c = peek();
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        const std::size_t len = utf8_sequence_length(text_, pos_);
        if (len == 0) return false;
        pos_ += len;
        continue;
      }
      ++pos_;
      if (at_end()) return false;
      const char e = text_[pos_++];
      if (e == 'u') {
        std::uint32_t unit = 0;
        if (!hex4(unit)) return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;  // a low half without its high half
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          std::uint32_t low = 0;
          if (text_.substr(pos_, 2) != "\\u") return false;
          pos_ += 2;
          if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
        }
      } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
        return false;
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

bool is_json_value(std::string_view text) { return Validator(text).whole_text(); }

std::string valid_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t len = utf8_sequence_length(bytes, i);
    if (len == 0) {
      out.append("\xEF\xBF\xBD");
      ++i;
    } else {
      out.append(bytes.substr(i, len));
      i += len;
    }
  }
  return out;
}

}  // namespace corvane
