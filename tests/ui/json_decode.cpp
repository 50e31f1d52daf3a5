#include "ui/json_decode.h"

namespace corvane::test {
namespace {

int hex_value(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Reads one string literal starting at `pos` (a quote); on success `pos` is past its closing quote.
std::optional<std::wstring> read_string(std::wstring_view text, std::size_t& pos) {
  if (pos >= text.size() || text[pos] != L'"') return std::nullopt;
  std::wstring out;
  for (std::size_t i = pos + 1; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'"') {
      pos = i + 1;
      return out;
    }
    if (static_cast<unsigned>(c) < 0x20) return std::nullopt;
    if (c != L'\\') {
      out.push_back(c);
      continue;
    }
    if (++i >= text.size()) return std::nullopt;
    switch (text[i]) {
      case L'"': out.push_back(L'"'); break;
      case L'\\': out.push_back(L'\\'); break;
      case L'/': out.push_back(L'/'); break;
      case L'b': out.push_back(L'\b'); break;
      case L'f': out.push_back(L'\f'); break;
      case L'n': out.push_back(L'\n'); break;
      case L'r': out.push_back(L'\r'); break;
      case L't': out.push_back(L'\t'); break;
      case L'u': {
        if (i + 4 >= text.size()) return std::nullopt;
        unsigned unit = 0;
        for (int k = 1; k <= 4; ++k) {
          const int v = hex_value(text[i + k]);
          if (v < 0) return std::nullopt;
          unit = unit * 16 + static_cast<unsigned>(v);
        }
        i += 4;
        if (sizeof(wchar_t) == 4 && !out.empty() && unit >= 0xDC00 && unit < 0xE000 &&
            out.back() >= 0xD800 && out.back() < 0xDC00) {
          const unsigned high = static_cast<unsigned>(out.back());
          out.back() = static_cast<wchar_t>(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
        } else {
          out.push_back(static_cast<wchar_t>(unit));
        }
        break;
      }
      default: return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::wstring> decode_json_string(std::wstring_view literal) {
  std::size_t pos = 0;
  auto value = read_string(literal, pos);
  if (!value || pos != literal.size()) return std::nullopt;
  return value;
}

std::optional<std::wstring> json_string_member(std::wstring_view object, std::wstring_view name) {
  const std::wstring key = L"\"" + std::wstring(name) + L"\":";
  const std::size_t at = object.find(key);
  if (at == std::wstring_view::npos) return std::nullopt;
  std::size_t pos = at + key.size();
  return read_string(object, pos);
}

}  // namespace corvane::test
