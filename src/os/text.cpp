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

namespace {

// One UTF-8 sequence at in[i]: its code point and length, or length 0 when no valid sequence
// starts there; `taken` is then how many bytes the broken sequence spans (the lead byte and the
// continuation bytes that follow it, up to the length the lead byte announced).
struct Sequence {
  char32_t cp = 0;
  std::size_t length = 0;
  std::size_t taken = 1;
};

Sequence decode_sequence(std::string_view in, std::size_t i) {
  const auto b0 = static_cast<std::uint8_t>(in[i]);
  if (b0 < 0x80) return {b0, 1, 1};
  std::size_t len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return {};
  }
  std::size_t taken = 1;
  while (taken < len && i + taken < in.size() &&
         (static_cast<std::uint8_t>(in[i + taken]) & 0xC0) == 0x80) {
    cp = (cp << 6) | (static_cast<std::uint8_t>(in[i + taken]) & 0x3F);
    ++taken;
  }
  // Truncated, overlong, beyond U+10FFFF or an encoded surrogate: no valid sequence.
  if (taken < len || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {0, 0, taken};
  return {cp, len, len};
}

// The lone surrogates that stand for one undecodable byte each.
constexpr char32_t kByteEscapeFirst = 0xDC80;
constexpr char32_t kByteEscapeLast = 0xDCFF;

// Calls `fn` with each code point of `in`: surrogate pairs joined on Windows, every other unit as
// it is (lone surrogates included).
template <typename Fn>
void for_each_code_point(std::wstring_view in, Fn&& fn) {
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
    fn(cp);
  }
}

void append_valid_utf8(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacement;
  append_utf8(out, cp);
}

}  // namespace

std::wstring from_utf8(std::string_view in) {
  // Decoded as the system's UTF-8 code page does it (MultiByteToWideChar with CP_UTF8): a lead
  // byte and the continuation bytes that still fit the sequence become one replacement character
  // when the sequence breaks off, and so does a sequence cut short by the end of the input. Bytes
  // after a cut-short sequence that are not its continuation are decoded on their own, never
  // dropped.
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
      while (i < n && (byte(i) & 0xC0) == 0x80) ++i;
      out.push_back(static_cast<wchar_t>(kReplacement));
      continue;
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

std::wstring from_utf8_lossless(std::string_view in) {
  std::wstring out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    const Sequence s = decode_sequence(in, i);
    if (s.length == 0) {
      // Only the lead byte is escaped; the bytes after it are looked at again on their own.
      append_code_point(out, 0xDC00 + static_cast<std::uint8_t>(in[i]));
      ++i;
      continue;
    }
    append_code_point(out, s.cp);
    i += s.length;
  }
  return out;
}

std::string to_utf8(std::wstring_view in) {
  std::string out;
  out.reserve(in.size());
  for_each_code_point(in, [&out](char32_t cp) { append_valid_utf8(out, cp); });
  return out;
}

std::string to_utf8_lossless(std::wstring_view in) {
  std::string out;
  out.reserve(in.size());
  for_each_code_point(in, [&out](char32_t cp) {
    if (cp >= kByteEscapeFirst && cp <= kByteEscapeLast) {
      out.push_back(static_cast<char>(cp - 0xDC00));
    } else {
      append_valid_utf8(out, cp);
    }
  });
  return out;
}

}  // namespace corvane::os
