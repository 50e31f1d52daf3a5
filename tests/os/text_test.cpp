#include "os/text.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace corvane::os
