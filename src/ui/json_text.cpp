#include "ui/json_text.h"

namespace corvane {

std::wstring json_quote(std::wstring_view text) {
  static constexpr wchar_t kHex[] = L"0123456789abcdef";
  std::wstring out;
  out.reserve(text.size() + 2);
  out.push_back(L'"');
  for (const wchar_t c : text) {
    switch (c) {
      case L'\t': out += L"\\t"; break;
      case L'\n': out += L"\\n"; break;
      case L'\r': out += L"\\r"; break;
      case L'"': out += L"\\\""; break;
      case L'\\': out += L"\\\\"; break;
      default:
        if (static_cast<unsigned>(c) < 0x20) {
          out += L"\\u00";
          out.push_back(kHex[(c >> 4) & 0xF]);
          out.push_back(kHex[c & 0xF]);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back(L'"');
  return out;
}

std::wstring json_bool(bool value) { return value ? L"true" : L"false"; }

}  // namespace corvane
