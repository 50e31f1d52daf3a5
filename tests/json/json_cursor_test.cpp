#include "json/json_cursor.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

bool read(std::string_view text, std::string& out) {
  JsonCursor cursor(text);
  return cursor.read_string(out);
}

bool skips(std::string_view text) {
  JsonCursor cursor(text);
  return cursor.skip_value(0) && cursor.at_end();
}

std::string nested_arrays(std::size_t levels) {
  return std::string(levels, '[') + "1" + std::string(levels, ']');
}

TEST(JsonCursor, StringEscapesDecodeToUtf8) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {R"("a\/b")", "a/b"},
      {R"("\"\\\b\f\n\r\t")", "\"\\\b\f\n\r\t"},
      {R"(  "\u0041\u00e9\u00E9\u20AC")", "A\xC3\xA9\xC3\xA9\xE2\x82\xAC"},
      {R"("\uD83D\uDE00\uDBFF\uDFFF")", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
      {R"("\u0000")", std::string_view("\0", 1)},
      {"\"\xD0\x96\xFF\"", "\xD0\x96\xFF"},  // high bytes are copied, not validated
  };
  for (const auto& [text, expected] : cases) {
    std::string out;
    EXPECT_TRUE(read(text, out)) << text;
    EXPECT_EQ(out, expected) << text;
  }
  for (const char* bad : {R"("\uD83D")", R"("\uD83Dx\uDE00")", R"("\uD83D\u0041")", R"("\uDE00")",
                          R"("\u12G4")", R"("\u12")", "\"\\u12", R"("\x")", "\"a\tb\"", "\"a\nb\"",
                          "\"abc", "\"abc\\", "abc", ""}) {
    std::string out;
    EXPECT_FALSE(read(bad, out)) << bad;
  }
}

TEST(JsonCursor, UnsignedNumbersHaveNineteenDigitsAtMost) {
  std::uint64_t value = 0;
  JsonCursor nines("9999999999999999999");
  ASSERT_TRUE(nines.read_unsigned(value));
  EXPECT_EQ(value, 9999999999999999999ull);
  JsonCursor twenty("18446744073709551615");  // fits 64 bits, but has twenty digits
  EXPECT_FALSE(twenty.read_unsigned(value));

  JsonCursor padded("  007  ,");
  ASSERT_TRUE(padded.read_unsigned(value));
  EXPECT_EQ(value, 7u);
  EXPECT_FALSE(padded.expect_char(']'));  // a mismatch stays in place
  EXPECT_TRUE(padded.expect_char(','));
  EXPECT_TRUE(padded.at_end());

  JsonCursor fraction("1.5");
  ASSERT_TRUE(fraction.read_unsigned(value));
  EXPECT_FALSE(fraction.expect_char(','));
  for (const char* bad : {"-1", "+1", "", "  ", "\"5\""}) {
    JsonCursor cursor(bad);
    EXPECT_FALSE(cursor.read_unsigned(value)) << bad;
  }
}

TEST(JsonCursor, SkipValueFollowsTheGrammar) {
  for (const char* good : {R"({"a" : [ 1 , true , null , "x" ] , "b" : { } })", "\t[\r\n]\n", "nul",
                           "-1.5e+10", R"("\u00e9")"}) {
    EXPECT_TRUE(skips(good)) << good;
  }
  for (const char* bad : {"[1,]", R"({"a":1,})", R"({a:1})", R"({"a" 1})", "[1 2]", "[1", "{", "",
                          " \t\r\n", "x", R"(["\x"])"}) {
    EXPECT_FALSE(skips(bad)) << bad;
  }
  EXPECT_FALSE(skips(std::string("\0", 1)));  // a zero byte is not a scalar character
}

TEST(JsonCursor, SkipValueStopsAtThirtyTwoLevels) {
  // The outermost array is skipped at depth 0, so 33 arrays put their content at depth 33.
  EXPECT_TRUE(skips(nested_arrays(32)));
  EXPECT_FALSE(skips(nested_arrays(33)));
  // Far deeper input fails without exhausting the stack.
  EXPECT_FALSE(skips(nested_arrays(100000)));
  std::string objects;
  for (int i = 0; i < 100000; ++i) objects += R"({"a":)";
  EXPECT_FALSE(skips(objects));
}

TEST(JsonCursor, ByteOrderMarkOnlyAtTheStart) {
  JsonCursor with_bom("\xEF\xBB\xBF{}");
  EXPECT_EQ(with_bom.pos(), 3u);
  EXPECT_TRUE(with_bom.expect_char('{'));
  JsonCursor late_bom(" \xEF\xBB\xBF{}");
  EXPECT_FALSE(late_bom.expect_char('{'));
  JsonCursor only_bom("\xEF\xBB\xBF");
  EXPECT_TRUE(only_bom.at_end());
}

}  // namespace
}  // namespace corvane
