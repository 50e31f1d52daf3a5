#include "ui/json_text.h"

namespace corvane {
namespace {

constexpr wchar_t kHex[] = L"0123456789abcdef";

bool is_high_surrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void append_escape(std::wstring& out, wchar_t c) {
  const auto unit = static_cast<unsigned>(c);
  out += L"\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
}

}  // namespace

std::wstring json_quote(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size() + 2);
  out.push_back(L'"');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    switch (c) {
      case L'\t': out += L"\\t"; break;
      case L'\n': out += L"\\n"; break;
      case L'\r': out += L"\\r"; break;
      case L'"': out += L"\\\""; break;
      case L'\\': out += L"\\\\"; break;
      default:
        if (static_cast<unsigned>(c) < 0x20) {
          append_escape(out, c);
        } else if (sizeof(wchar_t) == 2 && is_high_surrogate(c) && i + 1 < text.size() &&
                   is_low_surrogate(text[i + 1])) {
          out.push_back(c);  // a UTF-16 pair stays as it is
          out.push_back(text[++i]);
        } else if (is_high_surrogate(c) || is_low_surrogate(c)) {
          // A lone surrogate (a name byte that is not UTF-8) has no UTF-8 form; the escape keeps
          // the message valid JSON and gives the page that same unit.
          append_escape(out, c);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back(L'"');
  return out;
}

std::wstring json_bool(bool value) { return value ? L"true" : L"false"; }

std::wstring json_unquote(std::wstring_view literal) {
  if (literal.empty() || literal[0] != L'"') return {};
  std::wstring out;
  for (std::size_t i = 1; i < literal.size(); ++i) {
    const wchar_t c = literal[i];
    if (c == L'"') return out;
    if (c != L'\\') {
      out.push_back(c);
      continue;
    }
    if (++i == literal.size()) return {};
    switch (literal[i]) {
      case L'"': out.push_back(L'"'); break;
      case L'\\': out.push_back(L'\\'); break;
      case L'/': out.push_back(L'/'); break;
      case L'b': out.push_back(L'\b'); break;
      case L'f': out.push_back(L'\f'); break;
      case L'n': out.push_back(L'\n'); break;
      case L'r': out.push_back(L'\r'); break;
      case L't': out.push_back(L'\t'); break;
      case L'u': {
        if (i + 4 >= literal.size()) return {};
        unsigned unit = 0;
        for (int k = 1; k <= 4; ++k) {
          const wchar_t h = literal[i + k];
          const int digit = h >= L'0' && h <= L'9' ? h - L'0'
                            : h >= L'a' && h <= L'f' ? h - L'a' + 10
                            : h >= L'A' && h <= L'F' ? h - L'A' + 10
                                                     : -1;
          if (digit < 0) return {};
          unit = unit * 16 + static_cast<unsigned>(digit);
        }
        out.push_back(static_cast<wchar_t>(unit));
        i += 4;
        break;
      }
      default:
        return {};
    }
  }
  return {};  // no closing quote
}

}  // namespace corvane
