#include "json/json_strict.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/strict_json.h"

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

// Random texts from JSON's own pieces: the check agrees with Python's json module on every one
// (lone-surrogate escapes and deep nesting, where this check is the stricter, are left out).
TEST(JsonStrict, AgreesWithAnIndependentParser) {
  const char* pieces[] = {"{", "}", "[", "]", ",", ":", "\"", "\"k\"", "1", "-", "0", ".", "5", "e", "E", "+",
                          "true", "fals", "null", "nul", " ", "\t", "\\", "\\n", "\\u00e9", "\\u12", "\xC3\xA9",
                          "\xE9", "\xC3", "\"a\"", "[1]", "{\"x\":2}", "\r"};
  std::mt19937 random(3);
  std::vector<std::string> texts;
  for (int i = 0; i < 4000; ++i) {
    std::string text;
    const int count = 1 + static_cast<int>(random() % 8);
    for (int k = 0; k < count; ++k) text += pieces[random() % std::size(pieces)];
    texts.push_back(text);
  }
  const std::vector<bool> python = test::strict_json_each(texts);
  ASSERT_EQ(python.size(), texts.size());
  int valid = 0;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(is_json_value(texts[i]), python[i]) << texts[i];
    valid += python[i] ? 1 : 0;
  }
  EXPECT_GT(valid, 100);  // the corpus holds valid texts too, not only broken ones
}

}  // namespace
}  // namespace corvane
