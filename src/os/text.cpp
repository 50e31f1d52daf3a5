#include "os/text.h"

#include <cstdint>

namespace corvane::os {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_code_point(std::wstring& out, char32_t cp) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
      return;
    }
  }
  out.push_back(static_cast<wchar_t>(cp));
}

}  // namespace

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::wstring from_utf8(std::string_view in) {
  // Decoded as the system's UTF-8 code page does it (MultiByteToWideChar with CP_UTF8): a lead
  // byte and the continuation bytes that still fit the sequence become one replacement character
  // when the sequence breaks off; a sequence cut short by the end of the input is one replacement
  // character for all that is left.
  std::wstring out;
  out.reserve(in.size());
  const std::size_t n = in.size();
  std::size_t i = 0;
  auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(in[at]); };
  while (i < n) {
    const std::uint8_t b0 = byte(i++);
    if (b0 < 0x80) {
      out.push_back(static_cast<wchar_t>(b0));
      continue;
    }
    // Continuation bytes that follow a lead byte; C0, C1 and F5..FF never lead.
    const std::size_t len = (b0 >= 0xC2 && b0 <= 0xDF) ? 1 : (b0 >= 0xE0 && b0 <= 0xEF) ? 2 : (b0 >= 0xF0 && b0 <= 0xF4) ? 3 : 0;
    if (len == 0) {
      out.push_back(static_cast<wchar_t>(kReplacement));
      continue;
    }
    if (i + len > n) {
      out.push_back(static_cast<wchar_t>(kReplacement));
      break;
    }
    char32_t cp = b0 & (len == 1 ? 0x1F : len == 2 ? 0x0F : 0x07);
    bool ok = true;
    std::size_t need = len;
    // Each step takes one continuation byte and stops at the first that cannot belong here:
    // overlong forms, surrogates and values above U+10FFFF break off where they become certain.
    while (need > 0) {
      const std::uint32_t c = byte(i) ^ 0x80u;
      if (c >= 0x40) {
        ok = false;
        break;
      }
      cp = (cp << 6) | c;
      if (need == 2 && len == 3 && cp >= (0x110000 >> 6)) {
        ok = false;  // above U+10FFFF: the byte is not taken
        break;
      }
      ++i;
      --need;
      if ((need == 2 && cp < 0x10) || (need == 1 && cp < 0x20) ||
          (need == 1 && cp >= (0xD800 >> 6) && cp <= (0xDFFF >> 6))) {
        ok = false;  // overlong, or a surrogate
        break;
      }
    }
    if (!ok) {
      out.push_back(static_cast<wchar_t>(kReplacement));
      continue;
    }
    append_code_point(out, cp);
  }
  return out;
}

std::string to_utf8(std::wstring_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    auto cp = static_cast<char32_t>(in[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size()) {
        const auto lo = static_cast<char32_t>(in[i + 1]);
        if (lo >= 0xDC00 && lo <= 0xDFFF) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          ++i;
        }
      }
    }
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacement;
    append_utf8(out, cp);
  }
  return out;
}

}  // namespace corvane::os
