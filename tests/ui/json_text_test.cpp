#include "ui/json_text.h"

#include <gtest/gtest.h>

#include <optional>

#include "json/json_cursor.h"
#include "os/text.h"

namespace corvane {
namespace {

// What a JSON parser reads from one string literal; nothing when it is not exactly one.
std::optional<std::wstring> parse_json_string(std::wstring_view literal) {
  JsonCursor cursor(os::to_utf8(literal));
  std::string text;
  if (!cursor.read_string(text) || !cursor.at_end()) return std::nullopt;
  return os::from_utf8(text);
}

TEST(JsonQuote, AwkwardPathsSurviveAJsonParserUnchanged) {
  const std::wstring samples[] = {
      L"C:\\Games\\\"Corvane\"\\",
      L"D:\\a\tb\nc\rd\x01" L"e\x1f" L"f\x7f" L"g/h",
      L"/home/\u0438\u0433\u0440\u043e\u043a/\u0418\u0433\u0440\u044b \U0001F600 \u2028",
      std::wstring(L"nul\0inside", 10),
      L"",
  };
  for (const std::wstring& s : samples) EXPECT_EQ(parse_json_string(json_quote(s)), s);
  // Letters outside ASCII stay letters; only what JSON requires is escaped, in lower-case hex.
  EXPECT_EQ(json_quote(L"\u0418\U0001F600\x7f/\x08\x1f"), L"\"\u0418\U0001F600\x7f/\\u0008\\u001f\"");
}

TEST(JsonQuote, LoneSurrogatesTravelAsTheirEscapes) {
  // A name may hold them: unpaired UTF-16 on Windows, a byte that is not UTF-8 on Linux.
  // Low before high: unpaired in either encoding of wide text.
  EXPECT_EQ(json_quote(std::wstring{L'a', wchar_t(0xDFFF), wchar_t(0xD800), L'\x1f'}), L"\"a\\udfff\\ud800\\u001f\"");
}

TEST(JsonUnquote, ReadsBackWhatJsonQuoteWroteAndRefusesBrokenLiterals) {
  const std::wstring samples[] = {
      L"Файл C:\\Games\\\"x\".dll занят",
      L"a\tb\nc\rd\x01\x1f/\x7f \U0001F600",
      std::wstring{L'a', wchar_t(0xDFFF), wchar_t(0xD800)},
      L"",
  };
  for (const std::wstring& s : samples) EXPECT_EQ(json_unquote(json_quote(s)), s);
  // What follows the literal is left alone; escapes that json_quote never writes are read too.
  EXPECT_EQ(json_unquote(L"\"x\\/y\\u00E9\\b\"}"), L"x/y\u00e9\b");
  for (const wchar_t* broken : {L"", L"x", L"\"open", L"\"bad \\q\"", L"\"short \\u12\"", L"\"hex \\u12g4\""}) {
    EXPECT_EQ(json_unquote(broken), L"") << "for a literal of " << std::wstring_view(broken).size() << " units";
  }
}

}  // namespace
}  // namespace corvane
