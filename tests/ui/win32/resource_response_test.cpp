// The response objects made for the page's requests, in a binary that embeds tests/ui/fixture_page
// as RCDATA: index.html, app.js, images/logo.svg and an empty app.css; the other entries of the
// table have no resource.
#include "ui/win32/resource_response.h"

#include <gtest/gtest.h>

#include <map>

#include "ui/asset_table.h"
#include "ui/resource_server.h"
#include "ui/win32/webview2_doubles.h"

namespace corvane::test {
namespace {

const std::wstring kPolicy =
    L"Content-Security-Policy: " + std::wstring(kContentSecurityPolicy.begin(), kContentSecurityPolicy.end());

ComPtr<FakeResourceArgs> answer(const std::wstring& rest, std::map<std::wstring, std::wstring> headers = {}) {
  ComPtr<FakeEnvironment> environment(new FakeEnvironment);
  ComPtr<FakeResourceArgs> args(
      new FakeResourceArgs(new FakeRequest(std::wstring(kVirtualOrigin) + rest, std::move(headers))));
  EXPECT_EQ(win32::answer_resource_request(environment.get(), args.get()), S_OK);
  return args;
}

TEST(ResourceResponse, TheResourceBytesInAStreamOfTheirOwnWithTheirType) {
  auto args = answer(L"app.js#top");
  FakeResponse* response = args->fake_response();
  ASSERT_NE(response, nullptr);
  EXPECT_EQ(response->status, 200);
  EXPECT_EQ(response->reason, L"OK");
  EXPECT_EQ(response->headers, L"Content-Type: text/javascript; charset=utf-8\r\n" + kPolicy);
  EXPECT_EQ(response->body(), "console.log(1)");
  // A second request gets a second stream: reading one leaves the other whole.
  auto again = answer(L"app.js");
  EXPECT_NE(again->fake_response()->content.get(), response->content.get());
  EXPECT_EQ(again->fake_response()->body(), "console.log(1)");
}

TEST(ResourceResponse, ARangeRequestGetsThePortionWithItsContentRange) {
  auto part = answer(L"app.js", {{L"Range", L"bytes=8-"}});
  FakeResponse* response = part->fake_response();
  ASSERT_NE(response, nullptr);
  EXPECT_EQ(response->status, 206);
  EXPECT_EQ(response->reason, L"Partial Content");
  EXPECT_EQ(response->headers,
            L"Content-Type: text/javascript; charset=utf-8\r\nContent-Range: bytes 8-13/14\r\n" + kPolicy);
  EXPECT_EQ(response->body(), "log(1)");
  auto past = answer(L"app.js", {{L"Range", L"bytes=99-"}});
  EXPECT_EQ(past->fake_response()->status, 416);
  EXPECT_EQ(past->fake_response()->headers, L"Content-Range: bytes */14\r\n" + kPolicy);
  EXPECT_FALSE(past->fake_response()->content);
}

TEST(ResourceResponse, AbsentOrEmptyResourcesAre500WithoutContent) {
  for (const wchar_t* rest : {L"videos/hero.mp4", L"app.css"}) {
    auto args = answer(rest);
    FakeResponse* response = args->fake_response();
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->status, 500);
    EXPECT_EQ(response->reason, L"Missing");
    EXPECT_EQ(response->headers, kPolicy);
    EXPECT_FALSE(response->content);
  }
}

}  // namespace
}  // namespace corvane::test
