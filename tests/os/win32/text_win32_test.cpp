// The portable UTF-8 conversion against the system's UTF-8 code page (apart from one pattern where
// ours keeps text that the system drops, tested on its own), and the ordinal comparison.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "os/text.h"

namespace corvane::os {
namespace {

std::wstring system_from_utf8(const std::string& in) {
  if (in.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), out.data(), n);
  return out;
}

std::string system_to_utf8(const std::wstring& in) {
  if (in.empty()) return {};
  const int n =
      ::WideCharToMultiByte(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<std::uint8_t>(c);
    out += digits[b >> 4];
    out += digits[b & 15];
    out += ' ';
  }
  return out;
}

std::string hex(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text) out += std::to_string(static_cast<unsigned>(c)) + ' ';
  return out;
}

// Where a lead byte near the end announces more continuation bytes than the input still holds
// and a byte after it is no continuation byte, the system's decoder under Wine gives one U+FFFD
// for everything that is left ("\xE2" "A" gives U+FFFD alone), while ours gives one U+FFFD for
// the lead byte and its continuation bytes and decodes the bytes after them on their own, so
// that no text is lost. The position where the bytes after such a cut-short sequence begin (after
// its continuation bytes), or npos. Every byte C2..F4 is a lead byte in both decoders (none is a
// continuation byte), so the first such lead byte is where both reach the cut-short sequence.
std::size_t rest_after_cut_short_sequence(const std::string& in) {
  const std::size_t n = in.size();
  for (std::size_t p = 0; p < n; ++p) {
    const auto b = static_cast<std::uint8_t>(in[p]);
    const std::size_t len = (b >= 0xC2 && b <= 0xDF) ? 1 : (b >= 0xE0 && b <= 0xEF) ? 2 : (b >= 0xF0 && b <= 0xF4) ? 3 : 0;
    if (len == 0 || p + 1 + len <= n) continue;
    std::size_t q = p + 1;
    while (q < n && (static_cast<std::uint8_t>(in[q]) & 0xC0) == 0x80) ++q;
    return q < n ? q : std::string::npos;
  }
  return std::string::npos;
}

// What our decoder must give: the system's decoding, except that after a cut-short sequence the
// rest is decoded on its own. The system's decoding of the whole input ends in the one U+FFFD it
// gives for the cut-short sequence and everything after it; ours gives that U+FFFD for the
// sequence alone. (Decoding only the bytes before the rest would not do: cutting the input there
// can cut short a sequence that the whole input completes.)
std::wstring expected_from_utf8(const std::string& in) {
  const std::size_t rest = rest_after_cut_short_sequence(in);
  if (rest == std::string::npos) return system_from_utf8(in);
  return system_from_utf8(in) + expected_from_utf8(in.substr(rest));
}

// A small deterministic generator, so that a failure can be replayed.
struct Lcg {
  std::uint32_t state;
  std::uint32_t next() { return state = state * 1664525u + 1013904223u; }
};

TEST(TextWin32, FromUtf8AgreesWithTheSystemOnValidAndBrokenInput) {
  std::vector<std::string> inputs = {
      "", "plain", "a\xC3\xA9\xD0\x96\xE2\x82\xAC\xF0\x9F\x98\x80", std::string("x\0y", 3),
      "\xC3", "\xE2\x82", "\xF0\x9F\x98", "\xC3z", "\xE2\x82z",       // cut short
      "\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xC1\xBF",     // overlong
      "\xED\xA0\x80", "\xED\xBF\xBF", "\xED\x9F\xBF",                 // surrogates and the last before
      "\xF4\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",     // around U+10FFFF
      "\x80", "\xBF\x80", "a\xFFz", "\xFE\xFF", "\xF8\x88\x80\x80\x80", "\xFC\x84\x80\x80\x80\x80",
      "\xEF\xBB\xBF" "bom", "\xEF\xBF\xBD", "\xEF\xBF\xBE\xEF\xBF\xBF",
  };
  // Random strings over the bytes where decoders differ: leads, continuations and ASCII.
  const unsigned char alphabet[] = {0x41, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2, 0xDF, 0xE0,
                                    0xE1, 0xED, 0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xF8, 0xFF, 0x00};
  Lcg random{12345};
  for (int i = 0; i < 20000; ++i) {
    std::string s;
    const std::uint32_t length = random.next() % 9;
    for (std::uint32_t j = 0; j < length; ++j) s.push_back(static_cast<char>(alphabet[(random.next() >> 8) % sizeof alphabet]));
    inputs.push_back(s);
  }
  int disagreements = 0;
  int cut_short = 0;
  for (const std::string& input : inputs) {
    const std::wstring ours = from_utf8(input);
    const std::wstring expected = expected_from_utf8(input);
    cut_short += rest_after_cut_short_sequence(input) != std::string::npos ? 1 : 0;
    if (ours != expected && ++disagreements <= 10) {
      ADD_FAILURE() << "input " << hex(input) << "gives " << hex(ours) << "but the system gives "
                    << hex(system_from_utf8(input)) << "(expected " << hex(expected) << ")";
    }
  }
  EXPECT_EQ(disagreements, 0);
  // Both kinds of input were compared: the excluded pattern is the exception, not the rule.
  EXPECT_GT(cut_short, 100);
  EXPECT_GT(static_cast<int>(inputs.size()) - cut_short, 10000);
}

TEST(TextWin32, BytesAfterASequenceCutShortByTheEndAreKept) {
  EXPECT_EQ(from_utf8("\xE2" "A"), L"\uFFFD" L"A");
  EXPECT_EQ(from_utf8("x\xF0\x9F" "AB"), L"x\uFFFD" L"AB");
  EXPECT_EQ(from_utf8("\xF0\xC3\xA9"), L"\uFFFD\u00E9");  // a whole sequence after it
  EXPECT_EQ(from_utf8("\xF0\xE2" "A"), L"\uFFFD\uFFFD" L"A");
  // Only continuation bytes after it: one replacement character, as the system gives.
  EXPECT_EQ(from_utf8("a\xF0\x9F\x98"), L"a\uFFFD");
  EXPECT_EQ(from_utf8("a\xF0\x9F\x98"), system_from_utf8("a\xF0\x9F\x98"));
}

TEST(TextWin32, ToUtf8AgreesWithTheSystemIncludingLoneSurrogates) {
  std::vector<std::wstring> inputs = {
      L"", L"plain", L"a\u00e9\u0416\u20ac\U0001F600", std::wstring(L"x\0y", 3),
      std::wstring(1, wchar_t(0xD800)), std::wstring(1, wchar_t(0xDC00)), std::wstring(L"a\xD83D"),
      std::wstring(L"\xDE00\xD83D"), std::wstring(L"\xD83D\xD83D\xDE00"), std::wstring(L"\xFFFF\xFFFE"),
  };
  const wchar_t alphabet[] = {L'A', 0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0};
  Lcg random{777};
  for (int i = 0; i < 20000; ++i) {
    std::wstring s;
    const std::uint32_t length = random.next() % 7;
    for (std::uint32_t j = 0; j < length; ++j) s.push_back(alphabet[(random.next() >> 8) % (sizeof alphabet / sizeof alphabet[0])]);
    inputs.push_back(s);
  }
  int disagreements = 0;
  for (const std::wstring& input : inputs) {
    const std::string ours = to_utf8(input);
    const std::string system = system_to_utf8(input);
    if (ours != system && ++disagreements <= 10) {
      ADD_FAILURE() << "input " << hex(input) << "gives " << hex(ours) << "but the system gives " << hex(system);
    }
  }
  EXPECT_EQ(disagreements, 0);
}

TEST(TextWin32, CaseIsIgnoredCharacterByCharacterOnly) {
  EXPECT_TRUE(equal_ignoring_case(L"C:\\Corvane\\Uninstall.EXE", L"c:\\corvane\\uninstall.exe"));
  EXPECT_TRUE(equal_ignoring_case(L"\u0416\u0418\u0401", L"\u0436\u0438\u0451"));
  EXPECT_TRUE(equal_ignoring_case(std::wstring(L"a\0B", 3), std::wstring(L"A\0b", 3)));
  EXPECT_FALSE(equal_ignoring_case(std::wstring(L"a\0b", 3), std::wstring(L"a\0c", 3)));
  EXPECT_FALSE(equal_ignoring_case(L"stra\u00dfe", L"STRASSE"));  // no expansions
  EXPECT_FALSE(equal_ignoring_case(L"C:\\a", L"C:/a"));
  EXPECT_FALSE(equal_ignoring_case(L"abc", L"ab"));
}

// The portable table of file-name case against the system, for every UTF-16 unit: the system's own
// upper case of the unit (RtlUpcaseUnicodeChar, which the ordinal comparison uses), and
// CompareStringOrdinal, which must take each unit and its upper case from the table for one.
TEST(TextWin32, TheFileNameCaseTableIsTheSystemsForEveryUnit) {
  using Upcase = WCHAR(WINAPI*)(WCHAR);
  const auto system_upcase = reinterpret_cast<Upcase>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlUpcaseUnicodeChar")));
  ASSERT_NE(system_upcase, nullptr);
  int table_differs = 0;
  int comparison_differs = 0;
  for (std::uint32_t i = 0; i <= 0xFFFF; ++i) {
    const auto unit = static_cast<char16_t>(i);
    const char16_t ours = upcase_unit(unit);
    const auto system = static_cast<char16_t>(system_upcase(static_cast<WCHAR>(unit)));
    if (ours != system && ++table_differs <= 20) {
      ADD_FAILURE() << std::hex << "U+" << i << ": table U+" << static_cast<unsigned>(ours) << ", system U+"
                    << static_cast<unsigned>(system);
    }
    const auto a = static_cast<wchar_t>(unit);
    const auto b = static_cast<wchar_t>(ours);
    if (::CompareStringOrdinal(&a, 1, &b, 1, TRUE) != CSTR_EQUAL && ++comparison_differs <= 20) {
      ADD_FAILURE() << std::hex << "CompareStringOrdinal: U+" << i << " is not U+" << static_cast<unsigned>(ours);
    }
  }
  EXPECT_EQ(table_differs, 0);
  EXPECT_EQ(comparison_differs, 0);
}

}  // namespace
}  // namespace corvane::os
