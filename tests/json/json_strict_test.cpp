#include "json/json_strict.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

TEST(JsonStrict, AcceptsOnlyWhatTheGrammarAllows) {
  for (const char* valid : {"0", "-0", "1.5e-3", "-12E+7", "true", "null", " \t\r\n[1, 2]\n", "{}", "[]", "\"\"",
                            "{\"a\":{\"b\":[null,false]}}", "\"\\u00e9\\ud83d\\ude00\\/\\b\"", "\"\xC3\xA9\xF0\x9F\x98\x80\"",
                            "\"\x7F\"", "{\"a\":1,\"a\":2}"}) {
    EXPECT_TRUE(is_json_value(valid)) << valid;
  }
  for (const char* invalid : {"", " ", "nul", "-", "e", "01", "1.", ".5", "+1", "1e", "1e+", "-a", "tru", "NaN",
                              "[1,]", "{\"a\":1,}", "{a:1}", "[1 2]", "\"a", "\"\t\"", "\"\\x\"", "\"\\u12\"",
                              "\"\\ud800\"", "\"\\udc00\"", "\"\\ud800\\u0041\"", "\"\xE9\"", "\"\xC0\xAF\"",
                              "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"", "\xEF\xBB\xBF" "1", "1 2", "[1]]", "{\"a\"}",
                              "{\"a\" 1}", "[nul]"}) {
    EXPECT_FALSE(is_json_value(invalid)) << invalid;
  }
  EXPECT_TRUE(is_json_value(std::string(32, '[') + std::string(32, ']')));
  EXPECT_FALSE(is_json_value(std::string(34, '[') + std::string(34, ']')));
  EXPECT_EQ(valid_utf8("a\xC3\xA9\xE9z\xF0\x9F"), "a\xC3\xA9\xEF\xBF\xBDz\xEF\xBF\xBD");
}

}  // namespace
}  // namespace corvane
