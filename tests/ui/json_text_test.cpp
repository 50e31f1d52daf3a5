#include "ui/json_text.h"

#include <gtest/gtest.h>

#include "ui/json_decode.h"

namespace corvane {
namespace {

TEST(JsonQuote, AwkwardPathsSurviveAJsonParserUnchanged) {
  const std::wstring samples[] = {
      L"C:\\Games\\\"Corvane\"\\",                         // quotes and backslashes
      L"D:\\a\tb\nc\rd\x01" L"e\x1f" L"f\x7f" L"g/h",      // control characters, DEL, slash
      L"/home/\u0438\u0433\u0440\u043e\u043a/\u0418\u0433\u0440\u044b",  // Cyrillic
      L"emoji \U0001F600 and \u2028 line separator",
      std::wstring(L"nul\0inside", 10),
      L"",
  };
  for (const std::wstring& s : samples) {
    const std::wstring quoted = json_quote(s);
    const auto decoded = test::decode_json_string(quoted);
    ASSERT_TRUE(decoded.has_value()) << "not valid JSON: " << quoted.size();
    EXPECT_EQ(*decoded, s);
  }
}

TEST(JsonQuote, EscapesOnlyWhatJsonRequires) {
  EXPECT_EQ(json_quote(L"\x08\x1f\t\n\r\"\\"), L"\"\\u0008\\u001f\\t\\n\\r\\\"\\\\\"");
  EXPECT_EQ(json_quote(L"\x7f/"), L"\"\x7f/\"");
  // Letters outside ASCII are written as themselves, never as \u escapes.
  EXPECT_EQ(json_quote(L"\u0418\u0433\u0440\u044b"), L"\"\u0418\u0433\u0440\u044b\"");
  EXPECT_EQ(json_quote(L"\U0001F600"), L"\"\U0001F600\"");
  EXPECT_EQ(json_bool(true), L"true");
  EXPECT_EQ(json_bool(false), L"false");
}

}  // namespace
}  // namespace corvane
