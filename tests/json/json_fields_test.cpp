#include "json/json_fields.h"

#include <gtest/gtest.h>

#include <limits>

namespace corvane {
namespace {

TEST(JsonFields, StringFieldNeedsTheCompactPatternAndDropsBackslashes) {
  EXPECT_EQ(find_string_field(R"({"host":"x"})", "host"), "x");
  EXPECT_EQ(find_string_field(R"({"host": "x"})", "host"), "");
  EXPECT_EQ(find_string_field(R"({"port":5})", "port"), "");
  EXPECT_EQ(find_string_field(R"({"xhost":"a","host":"b","host":"c"})", "host"), "b");
  EXPECT_EQ(find_string_field(R"({"a":"open)", "a"), "open");  // the end of the text ends the value
  EXPECT_EQ(find_string_field(R"({"name":"a\"b"})", "name"), "a\"b");
  EXPECT_EQ(find_string_field(R"({"p":"C:\\Games\\GTA V"})", "p"), "C:\\Games\\GTA V");
  EXPECT_EQ(find_string_field(R"({"n":"x\ny\u00e9"})", "n"), "xnyu00e9");
  EXPECT_EQ(find_string_field("{\"n\":\"ab\\", "n"), "ab\\");  // a final backslash stays
}

TEST(JsonFields, IntFieldConvertsLikeStrtoll) {
  EXPECT_EQ(find_int_field(R"({"port":22005})", "port"), 22005);
  EXPECT_EQ(find_int_field(R"("port":-5)", "port"), -5);
  EXPECT_EQ(find_int_field("{\"port\":\n\t +12x", "port"), 12);
  EXPECT_EQ(find_int_field(R"({"port":"22005"})", "port"), 0);
  EXPECT_EQ(find_int_field(R"({"host":"a"})", "port"), 0);
  EXPECT_EQ(find_int_field(R"({"at":99999999999999999999999})", "at"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(find_int_field(R"({"at":-99999999999999999999999})", "at"), std::numeric_limits<std::int64_t>::min());
  // The digits end at the end of the view, not at whatever follows it in memory.
  EXPECT_EQ(find_int_field(std::string_view(R"({"port":123456)").substr(0, 10), "port"), 12);
}

TEST(JsonFields, EscapeForLauncherJson) {
  EXPECT_EQ(escape_json_text("C:\\Games \"x\""), "C:\\\\Games \\\"x\\\"");
  EXPECT_EQ(escape_json_text(std::string("a\nb\tc\rd\x01\x1F\0e", 11)), "abcde");
  EXPECT_EQ(escape_json_text("\xD0\x96\x7F/"), "\xD0\x96\x7F/");
}

}  // namespace
}  // namespace corvane
