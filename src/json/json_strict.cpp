#include "json/json_strict.h"

#include <cstdint>

#include "os/text.h"

namespace corvane {
namespace {

constexpr int kMaxDepth = 32;

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
        ++pos_;  // whole-text UTF-8 validity is checked apart
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

bool is_json_value(std::string_view text) {
  // Outside strings JSON text is ASCII, so valid UTF-8 as a whole means valid UTF-8 strings.
  return valid_utf8(text) == text && Validator(text).whole_text();
}

std::string valid_utf8(std::string_view bytes) { return os::to_utf8(os::from_utf8(bytes)); }

}  // namespace corvane
