#include "json/json_cursor.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

// Reads one string from the start of `text`; `ok` tells whether the read succeeded.
std::string string_of(std::string_view text, bool& ok) {
  JsonCursor cursor(text);
  std::string out;
  ok = cursor.read_string(out);
  return out;
}

bool reads_string(std::string_view text) {
  bool ok = false;
  (void)string_of(text, ok);
  return ok;
}

std::string read_ok(std::string_view text) {
  bool ok = false;
  std::string out = string_of(text, ok);
  EXPECT_TRUE(ok) << text;
  return out;
}

bool skips(std::string_view text) {
  JsonCursor cursor(text);
  return cursor.skip_value(0) && cursor.at_end();
}

std::string nested_arrays(int levels) {
  return std::string(static_cast<std::size_t>(levels), '[') + "1" +
         std::string(static_cast<std::size_t>(levels), ']');
}

TEST(JsonCursor, StringEscapesDecodeToUtf8) {
  EXPECT_EQ(read_ok(R"("a\/b")"), "a/b");
  EXPECT_EQ(read_ok(R"("\"\\\b\f\n\r\t")"), "\"\\\b\f\n\r\t");
  EXPECT_EQ(read_ok(R"("\u0041\u00e9\u00E9")"), "A\xC3\xA9\xC3\xA9");
  EXPECT_EQ(read_ok(R"("\u20AC")"), "\xE2\x82\xAC");
  EXPECT_EQ(read_ok(R"("\uD83D\uDE00")"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(read_ok(R"("\uDBFF\uDFFF")"), "\xF4\x8F\xBF\xBF");
  EXPECT_EQ(read_ok(R"("\u0000")"), std::string(1, '\0'));
  EXPECT_EQ(read_ok("  \"\xD0\x96\xFF\""), "\xD0\x96\xFF");  // high bytes copied, not validated
  EXPECT_EQ(read_ok(R"("")"), "");
}

TEST(JsonCursor, MalformedStringsFail) {
  EXPECT_FALSE(reads_string(R"("\uD83D")"));         // high surrogate alone
  EXPECT_FALSE(reads_string(R"("\uD83Dx\uDE00")"));  // not directly followed by \u
  EXPECT_FALSE(reads_string(R"("\uD83D\n")"));
  EXPECT_FALSE(reads_string(R"("\uD83D\u0041")"));   // second unit is no low surrogate
  EXPECT_FALSE(reads_string(R"("\uDE00")"));         // lone low surrogate
  EXPECT_FALSE(reads_string(R"("\u12G4")"));
  EXPECT_FALSE(reads_string(R"("\u12")"));
  EXPECT_FALSE(reads_string("\"\\u12"));
  EXPECT_FALSE(reads_string(R"("\x")"));
  EXPECT_FALSE(reads_string("\"a\tb\""));  // raw control bytes are not allowed
  EXPECT_FALSE(reads_string("\"a\nb\""));
  EXPECT_FALSE(reads_string("\"abc"));
  EXPECT_FALSE(reads_string("\"abc\\"));
  EXPECT_FALSE(reads_string("abc"));
  EXPECT_FALSE(reads_string(""));
}

TEST(JsonCursor, UnsignedNumbersHaveNineteenDigitsAtMost) {
  JsonCursor nines("9999999999999999999");
  std::uint64_t value = 0;
  ASSERT_TRUE(nines.read_unsigned(value));
  EXPECT_EQ(value, 9999999999999999999ull);

  JsonCursor twenty("18446744073709551615");  // fits 64 bits, but has twenty digits
  EXPECT_FALSE(twenty.read_unsigned(value));

  JsonCursor padded("  42,");
  ASSERT_TRUE(padded.read_unsigned(value));
  EXPECT_EQ(value, 42u);
  EXPECT_TRUE(padded.expect_char(','));

  JsonCursor leading_zeros("007");
  ASSERT_TRUE(leading_zeros.read_unsigned(value));
  EXPECT_EQ(value, 7u);

  JsonCursor fraction("1.5");
  ASSERT_TRUE(fraction.read_unsigned(value));
  EXPECT_EQ(value, 1u);
  EXPECT_FALSE(fraction.expect_char(','));

  for (const char* bad : {"-1", "+1", "", "  ", "x", "\"5\""}) {
    JsonCursor cursor(bad);
    EXPECT_FALSE(cursor.read_unsigned(value)) << bad;
  }
}

TEST(JsonCursor, SkipValueReadsOverAnyValue) {
  EXPECT_TRUE(skips(R"({"a" : [ 1 , true , null , "x" ] , "b" : { } })"));
  EXPECT_TRUE(skips("\t[\r\n]\n"));
  EXPECT_TRUE(skips("nul"));  // scalars are only checked for their characters
  EXPECT_TRUE(skips("-1.5e+10"));
  EXPECT_TRUE(skips(R"("\u00e9")"));

  EXPECT_FALSE(skips("[1,]"));
  EXPECT_FALSE(skips(R"({"a":1,})"));
  EXPECT_FALSE(skips(R"({a:1})"));
  EXPECT_FALSE(skips(R"({"a" 1})"));
  EXPECT_FALSE(skips("[1 2]"));
  EXPECT_FALSE(skips("[1"));
  EXPECT_FALSE(skips("{"));
  EXPECT_FALSE(skips(""));
  EXPECT_FALSE(skips(" \t\r\n"));
  EXPECT_FALSE(skips("x"));
  EXPECT_FALSE(skips(std::string("\0", 1)));  // a zero byte is not a scalar character
}

TEST(JsonCursor, SkipValueStopsAtThirtyTwoLevels) {
  // The outermost array is skipped at depth 0, so 33 arrays put their content at depth 33.
  EXPECT_TRUE(skips(nested_arrays(32)));
  EXPECT_FALSE(skips(nested_arrays(33)));
  JsonCursor cursor("1");
  EXPECT_TRUE(cursor.skip_value(32));
  JsonCursor deeper("1");
  EXPECT_FALSE(deeper.skip_value(33));
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
  JsonCursor short_text("\xEF\xBB");
  EXPECT_EQ(short_text.pos(), 0u);
  JsonCursor only_bom("\xEF\xBB\xBF");
  EXPECT_TRUE(only_bom.at_end());
}

TEST(JsonCursor, ExpectCharLeavesAMismatchInPlace) {
  JsonCursor cursor("  ]  ");
  EXPECT_FALSE(cursor.expect_char(','));
  EXPECT_FALSE(cursor.at_end());
  EXPECT_TRUE(cursor.expect_char(']'));
  EXPECT_TRUE(cursor.at_end());
  EXPECT_FALSE(cursor.expect_char(']'));
}

TEST(JsonCursor, OwnsItsCopyOfTheText) {
  std::string text = R"("kept")";
  JsonCursor cursor(text);
  text.assign(text.size(), 'x');
  std::string out;
  ASSERT_TRUE(cursor.read_string(out));
  EXPECT_EQ(out, "kept");
}

}  // namespace
}  // namespace corvane
