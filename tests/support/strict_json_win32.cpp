// The strict JSON judge on Windows. The tests run under Wine there, which has no Python: the
// verdict comes from the project's own strict checker (json/json_strict.h), which the Linux tests
// cross-check against Python's json module, plus the one rule Python's judge adds (no member name
// twice in one object). A valid text is then written back compactly the way Python writes it
// (json.dumps with ensure_ascii and no spaces), so that the tests compare the same text on both
// platforms. The checker is the stricter of the two in two places: it refuses \u escapes of lone
// surrogates and more than 32 levels of nesting, which Python accepts.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include "json/json_strict.h"
#include "support/strict_json.h"

namespace corvane::test {
namespace {

// Writes a text that is_json_value accepted back in Python's compact form; false when an object
// names a member twice.
class CompactWriter {
 public:
  explicit CompactWriter(std::string_view text) : text_(text) {}

  bool whole_text(std::string& out) {
    skip_whitespace();
    return value(out);
  }

 private:
  char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  void skip_whitespace() {
    while (pos_ < text_.size() && (peek() == ' ' || peek() == '\t' || peek() == '\r' || peek() == '\n')) ++pos_;
  }

  bool value(std::string& out) {
    switch (peek()) {
      case '{': return object(out);
      case '[': return array(out);
      case '"': {
        std::u32string decoded;
        string(decoded);
        write_string(decoded, out);
        return true;
      }
      case 't': return literal("true", out);
      case 'f': return literal("false", out);
      case 'n': return literal("null", out);
      default: number(out); return true;
    }
  }

  bool object(std::string& out) {
    ++pos_;
    out += '{';
    std::set<std::u32string> names;
    skip_whitespace();
    bool first = true;
    while (peek() != '}') {
      if (!first) {
        ++pos_;  // ','
        skip_whitespace();
      }
      std::u32string name;
      string(name);
      if (!names.insert(name).second) return false;
      if (!first) out += ',';
      write_string(name, out);
      skip_whitespace();
      ++pos_;  // ':'
      skip_whitespace();
      out += ':';
      if (!value(out)) return false;
      skip_whitespace();
      first = false;
    }
    ++pos_;
    out += '}';
    return true;
  }

  bool array(std::string& out) {
    ++pos_;
    out += '[';
    skip_whitespace();
    bool first = true;
    while (peek() != ']') {
      if (!first) {
        ++pos_;  // ','
        skip_whitespace();
        out += ',';
      }
      if (!value(out)) return false;
      skip_whitespace();
      first = false;
    }
    ++pos_;
    out += ']';
    return true;
  }

  bool literal(std::string_view word, std::string& out) {
    pos_ += word.size();
    out += word;
    return true;
  }

  std::uint32_t hex4() {
    std::uint32_t unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      unit = unit * 16 + static_cast<std::uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return unit;
  }

  // The code points of a string literal (valid UTF-8, escapes of surrogates in pairs).
  void string(std::u32string& decoded) {
    ++pos_;
    while (peek() != '"') {
      const auto b = static_cast<std::uint8_t>(text_[pos_]);
      if (b == '\\') {
        const char e = text_[pos_ + 1];
        pos_ += 2;
        switch (e) {
          case 'b': decoded += U'\b'; break;
          case 'f': decoded += U'\f'; break;
          case 'n': decoded += U'\n'; break;
          case 'r': decoded += U'\r'; break;
          case 't': decoded += U'\t'; break;
          case 'u': {
            std::uint32_t unit = hex4();
            if (unit >= 0xD800 && unit <= 0xDBFF) {
              pos_ += 2;  // "\u" of the low half
              unit = 0x10000 + ((unit - 0xD800) << 10) + (hex4() - 0xDC00);
            }
            decoded += static_cast<char32_t>(unit);
            break;
          }
          default: decoded += static_cast<char32_t>(e); break;  // '"', '\\', '/'
        }
        continue;
      }
      const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      char32_t cp = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
      for (int i = 1; i < length; ++i) cp = (cp << 6) | (static_cast<std::uint8_t>(text_[pos_ + i]) & 0x3F);
      pos_ += static_cast<std::size_t>(length);
      decoded += cp;
    }
    ++pos_;
  }

  static void write_unit(std::uint32_t unit, std::string& out) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
    out += escape;
  }

  static void write_string(const std::u32string& decoded, std::string& out) {
    out += '"';
    for (const char32_t cp : decoded) {
      switch (cp) {
        case U'"': out += "\\\""; break;
        case U'\\': out += "\\\\"; break;
        case U'\b': out += "\\b"; break;
        case U'\f': out += "\\f"; break;
        case U'\n': out += "\\n"; break;
        case U'\r': out += "\\r"; break;
        case U'\t': out += "\\t"; break;
        default:
          if (cp < 0x20 || (cp >= 0x80 && cp < 0x10000)) {
            write_unit(cp, out);
          } else if (cp >= 0x10000) {
            write_unit(0xD800 + ((cp - 0x10000) >> 10), out);
            write_unit(0xDC00 + ((cp - 0x10000) & 0x3FF), out);
          } else {
            out += static_cast<char>(cp);
          }
      }
    }
    out += '"';
  }

  // Integers keep their digits (only "-0" becomes "0"); numbers with a fraction or an exponent
  // are doubles, written as Python's repr writes them.
  void number(std::string& out) {
    const std::size_t start = pos_;
    bool is_float = false;
    while (pos_ < text_.size()) {
      const char c = peek();
      if (c == '.' || c == 'e' || c == 'E') {
        is_float = true;
      } else if (!(c == '-' || c == '+' || (c >= '0' && c <= '9'))) {
        break;
      }
      ++pos_;
    }
    const std::string_view digits = text_.substr(start, pos_ - start);
    if (!is_float) {
      out += digits == "-0" ? "0" : digits;
      return;
    }
    double d = 0;
    (void)std::from_chars(digits.data(), digits.data() + digits.size(), d);
    out += python_repr(d);
  }

  // repr() of a float: the shortest digits that read back as the same double, in positional
  // notation with at least one digit after the point when the decimal exponent lies in
  // [-4, 16), else as d[.ddd]e+XX with at least two exponent digits.
  static std::string python_repr(double d) {
    if (std::isinf(d)) return d < 0 ? "-Infinity" : "Infinity";
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::scientific).ptr;
    std::string scientific(buffer, end);  // [-]d[.ddd]e(+|-)XX
    std::string sign;
    if (scientific[0] == '-') {
      sign = "-";
      scientific.erase(0, 1);
    }
    const std::size_t e = scientific.find('e');
    std::string mantissa = scientific.substr(0, e);
    const int exponent = std::stoi(scientific.substr(e + 1));
    mantissa.erase(std::remove(mantissa.begin(), mantissa.end(), '.'), mantissa.end());  // the digits
    if (exponent >= -4 && exponent < 16) {
      std::string fixed;
      if (exponent < 0) {
        fixed = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + mantissa;
      } else if (mantissa.size() > static_cast<std::size_t>(exponent) + 1) {
        fixed = mantissa.substr(0, static_cast<std::size_t>(exponent) + 1) + "." +
                mantissa.substr(static_cast<std::size_t>(exponent) + 1);
      } else {
        fixed = mantissa + std::string(static_cast<std::size_t>(exponent) + 1 - mantissa.size(), '0') + ".0";
      }
      return sign + fixed;
    }
    std::string text = mantissa.substr(0, 1);
    if (mantissa.size() > 1) text += "." + mantissa.substr(1);
    char exponent_text[8];
    std::snprintf(exponent_text, sizeof exponent_text, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return sign + text + exponent_text;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

StrictJson strict_json(std::string_view bytes) {
  StrictJson result;
  if (!is_json_value(bytes)) {
    result.text = "not strict JSON (json/json_strict.h)";
    return result;
  }
  std::string compact;
  if (!CompactWriter(bytes).whole_text(compact)) {
    result.text = "a member name appears twice in one object";
    return result;
  }
  result.valid = true;
  result.text = std::move(compact);
  return result;
}

}  // namespace corvane::test
