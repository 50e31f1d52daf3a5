#include "os/text.h"

#include <gtest/gtest.h>

#include <random>

namespace corvane::os {
namespace {

TEST(Text, RoundTripsEveryPlane) {
  const std::string utf8 = "a\xC3\xA9\xD0\x96\xE2\x82\xAC\xF0\x9F\x98\x80";  // a é Ж € 😀
  const std::wstring wide = from_utf8(utf8);
  if constexpr (sizeof(wchar_t) == 2) {
    EXPECT_EQ(wide.size(), 6u);  // the emoji is a surrogate pair
  } else {
    EXPECT_EQ(wide, std::wstring(L"a\u00e9\u0416\u20ac\U0001F600"));
  }
  EXPECT_EQ(to_utf8(wide), utf8);
}

// As the UTF-8 code page of Windows decodes them: a broken sequence is one replacement character
// for its lead and the continuation bytes that still fitted; what can never start a sequence is one
// each; a sequence cut short by the end is one for the rest.
TEST(Text, InvalidSequencesBecomeReplacementCharacters) {
  EXPECT_EQ(from_utf8("\xC3"), L"\uFFFD");                      // truncated
  EXPECT_EQ(from_utf8("\xE2\x82"), L"\uFFFD");
  EXPECT_EQ(from_utf8("\xC3z"), L"\uFFFDz");                    // broken off before ASCII
  EXPECT_EQ(from_utf8("\xC0\xAF"), L"\uFFFD\uFFFD");            // overlong '/': C0 never leads
  EXPECT_EQ(from_utf8("\xE0\x80\xAF"), L"\uFFFD\uFFFD");        // overlong, known at the second byte
  EXPECT_EQ(from_utf8("\xED\xA0\x80"), L"\uFFFD\uFFFD");        // an encoded surrogate
  EXPECT_EQ(from_utf8("\xF4\x90\x80\x80"), L"\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
  EXPECT_EQ(from_utf8("\xE0\x20\xC0"), L"\uFFFD \uFFFD");
  EXPECT_EQ(from_utf8("a\xFFz"), L"a\uFFFDz");                  // stray byte between ASCII
  EXPECT_EQ(from_utf8(std::string("x\0y", 3)), std::wstring(L"x\0y", 3));
}

TEST(Text, LosslessNamesKeepEveryByteAndDecodeValidTextAsUsual) {
  // Valid UTF-8 decodes as the ordinary conversion does.
  const std::string valid = "a\xC3\xA9\xD0\x96\xE2\x82\xAC\xF0\x9F\x98\x80/\xEF\xBF\xBD";
  EXPECT_EQ(from_utf8_lossless(valid), from_utf8(valid));
  EXPECT_EQ(to_utf8_lossless(from_utf8(valid)), valid);
  // Each byte that starts no valid sequence is one lone surrogate, U+DC00 + byte.
  EXPECT_EQ(from_utf8_lossless("caf\xE9.dll"), L"caf\xDCE9.dll");
  EXPECT_EQ(from_utf8_lossless("\xE2\x82x"), L"\xDCE2\xDC82x");      // truncated: both bytes kept
  EXPECT_EQ(from_utf8_lossless("\xC0\xAF"), L"\xDCC0\xDCAF");        // overlong '/' is no '/'
  EXPECT_EQ(from_utf8_lossless("\xED\xA0\x80"), L"\xDCED\xDCA0\xDC80");  // an encoded surrogate
  // Lone surrogates that stand for no byte are not written as bytes.
  EXPECT_EQ(to_utf8_lossless(L"\xDC7F\xDD00"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(to_utf8(from_utf8_lossless("caf\xE9")), "caf\xEF\xBF\xBD");  // for the page: valid UTF-8

  // Every byte string comes back unchanged: all single bytes and pairs, then random strings.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const std::string bytes{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(to_utf8_lossless(from_utf8_lossless(bytes)), bytes) << a << " " << b;
    }
  }
  std::mt19937 random(12);
  for (int round = 0; round < 20000; ++round) {
    std::string bytes(random() % 12, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 4 == 0 ? 0x80 + random() % 0x80 : random() % 256);
    const std::wstring wide = from_utf8_lossless(bytes);
    ASSERT_EQ(to_utf8_lossless(wide), bytes);
    ASSERT_EQ(from_utf8_lossless(to_utf8_lossless(wide)), wide);
  }
}

}  // namespace
}  // namespace corvane::os

namespace corvane::os {
namespace {

TEST(FileNameCase, UnitsTakeTheSimpleUpperCaseOfTheirOwnPlane) {
  EXPECT_EQ(upcase_unit(u'a'), u'A');
  EXPECT_EQ(upcase_unit(u'Z'), u'Z');
  EXPECT_EQ(upcase_unit(u'{'), u'{');
  EXPECT_EQ(upcase_unit(u'\u0444'), u'\u0424');  // ф
  EXPECT_EQ(upcase_unit(u'\u0451'), u'\u0401');  // ё
  EXPECT_EQ(upcase_unit(u'\u03C3'), u'\u03A3');  // sigma
  // Letters whose case does not go both ways keep theirs, as the system's table has it: final
  // sigma, the micro sign, dotless i, long s, the titlecase digraph Dž.
  for (const char16_t unit : {u'\u03C2', u'\u00B5', u'\u0131', u'\u017F', u'\u01C5'}) {
    EXPECT_EQ(upcase_unit(unit), unit) << static_cast<unsigned>(unit);
  }
  EXPECT_EQ(upcase_unit(u'\u00FF'), u'\u0178');  // ÿ beyond Latin-1
  EXPECT_EQ(upcase_unit(u'\u1F80'), u'\u1F88');  // the simple mapping, not the two letters of the full one
  EXPECT_EQ(upcase_unit(u'\u00DF'), u'\u00DF');  // ß: no single upper-case letter
  EXPECT_EQ(upcase_unit(u'\u0130'), u'\u0130');
  EXPECT_EQ(upcase_unit(char16_t{0xD801}), char16_t{0xD801});  // surrogates have no case
  EXPECT_EQ(upcase_unit(u'\uFF41'), u'\uFF21');  // fullwidth a
  EXPECT_EQ(upcase_unit(u'\uFFFF'), u'\uFFFF');
}

TEST(FileNameCase, KeysAreEqualExactlyForNamesWindowsTakesForOne) {
  EXPECT_EQ(file_name_key(L"bin\\\u0424\u043e\u043d.dll"), file_name_key(L"BIN\\\u0444\u041e\u041d.DLL"));
  EXPECT_EQ(file_name_key(L"a/b"), u"A/B");
  EXPECT_NE(file_name_key(L"a/b"), file_name_key(L"a\\b"));
  EXPECT_NE(file_name_key(L"stra\u00dfe"), file_name_key(L"STRASSE"));
  // Beyond the first plane: two units on every platform, compared as they are.
  EXPECT_EQ(file_name_key(L"\U00010428"), (std::u16string{u'\xD801', u'\xDC28'}));
  EXPECT_NE(file_name_key(L"\U00010428"), file_name_key(L"\U00010400"));
  EXPECT_TRUE(equal_ignoring_case(L"\u0424\u043e\u043d", L"\u0444\u041e\u041d"));
  EXPECT_FALSE(equal_ignoring_case(L"\U00010428", L"\U00010400"));
  EXPECT_FALSE(equal_ignoring_case(L"ab", L"abc"));
}

}  // namespace
}  // namespace corvane::os
