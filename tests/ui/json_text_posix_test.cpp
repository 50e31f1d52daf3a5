// A Linux name byte that is not UTF-8, through to a strict JSON parser (Python's; the judge on
// Windows refuses escapes of lone surrogates, which JavaScript's JSON.parse reads).
#include <gtest/gtest.h>

#include "os/text.h"
#include "support/strict_json.h"
#include "ui/json_text.h"
#include "ui/ui_messages.h"

namespace corvane {
namespace {

TEST(JsonQuote, ANameByteThatIsNotUtf8ReachesThePageAsItsLoneSurrogate) {
  const std::wstring dir = os::from_utf8_lossless("/home/u/caf\xE9");
  // The host hands the message to the view as UTF-8; the page parses it as JSON.
  const test::StrictJson page = test::strict_json(os::to_utf8(uninstall_init_message(dir)));
  ASSERT_TRUE(page.valid) << page.text;
  EXPECT_EQ(page.text, R"({"type":"init","version":"1.0","mode":"uninstall","dir":"/home/u/caf\udce9"})");
}

}  // namespace
}  // namespace corvane
