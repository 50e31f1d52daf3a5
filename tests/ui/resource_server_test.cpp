#include "ui/resource_server.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/asset_table.h"

// This binary embeds tests/ui/fixture_page: index.html, app.js, images/logo.svg and an empty
// app.css; the other table entries have no resource.
namespace corvane {
namespace {

std::wstring at(std::wstring_view rest) { return std::wstring(kVirtualOrigin) + std::wstring(rest); }

TEST(ResourceServer, QueryAndFragmentAreCutBeforeTheExactMatch) {
  for (const auto* address : {L"app.js", L"app.js?v=2", L"app.js#top", L"app.js?a#b"}) {
    const ResourceResponse r = serve_resource(at(address));
    EXPECT_EQ(r.status, 200) << address;
    EXPECT_EQ(r.reason, "OK");
    EXPECT_EQ(r.content_type, L"text/javascript; charset=utf-8");
    EXPECT_EQ(r.body, "console.log(1)");
  }
  EXPECT_EQ(serve_resource(at(L"images/logo.svg")).content_type, L"image/svg+xml");
}

TEST(ResourceServer, ASingleByteRangeIsServedAsPartialContent) {
  // app.js is "console.log(1)": 14 bytes.
  struct Case {
    const wchar_t* range;
    int status;
    std::string body;
    std::string content_range;
  };
  const Case cases[] = {
      {L"bytes=0-6", 206, "console", "bytes 0-6/14"},
      {L"bytes=8-", 206, "log(1)", "bytes 8-13/14"},
      {L"bytes=-3", 206, "(1)", "bytes 11-13/14"},
      {L" Bytes=12-99 ", 206, "1)", "bytes 12-13/14"},  // past the end: up to the end
      {L"bytes=-99", 206, "console.log(1)", "bytes 0-13/14"},
      {L"bytes=14-", 416, "", "bytes */14"},
      {L"bytes=-0", 416, "", "bytes */14"},
      // Not one range of bytes: the whole resource, as if there were no header.
      {L"", 200, "console.log(1)", ""},
      {L"bytes=0-1,4-5", 200, "console.log(1)", ""},
      {L"items=0-1", 200, "console.log(1)", ""},
      {L"bytes=5-2", 200, "console.log(1)", ""},
      {L"bytes=x-", 200, "console.log(1)", ""},
      {L"bytes=-", 200, "console.log(1)", ""},
  };
  for (const Case& c : cases) {
    const ResourceResponse r = serve_resource(at(L"app.js"), c.range);
    EXPECT_EQ(r.status, c.status) << std::wstring(c.range).size();
    EXPECT_EQ(r.body, c.body);
    EXPECT_EQ(r.content_range, c.content_range);
    EXPECT_EQ(r.content_type, c.status == 416 ? L"" : L"text/javascript; charset=utf-8");
  }
  // A range changes nothing for an address without a resource.
  EXPECT_EQ(serve_resource(at(L"nothing"), L"bytes=0-1").status, 404);
  EXPECT_EQ(serve_resource(at(L"app.css"), L"bytes=0-1").status, 500);
}

TEST(ResourceServer, UnknownAddressesAre404) {
  for (const auto* rest : {L"", L"Index.html", L"./app.js", L"/app.js", L"Images/logo.svg", L"app.js/"}) {
    const ResourceResponse r = serve_resource(at(rest));
    EXPECT_EQ(r.status, 404) << std::wstring(rest).size();
    EXPECT_EQ(r.reason, "Not Found");
    EXPECT_TRUE(r.body.empty());
  }
  EXPECT_EQ(serve_resource(L"https://example.invalid/app.js").status, 404);
  // The origin's case matters too.
  std::wstring upper = at(L"app.js");
  upper[0] = static_cast<wchar_t>(upper[0] - 32);
  EXPECT_EQ(serve_resource(upper).status, 404);
}

TEST(ResourceServer, MissingOrEmptyResourcesAre500) {
  EXPECT_EQ(serve_resource(at(L"videos/hero.mp4")).status, 500);
  const ResourceResponse empty = serve_resource(at(L"app.css"));
  EXPECT_EQ(empty.status, 500);
  EXPECT_EQ(empty.reason, "Missing");
}

TEST(ResourceServer, TableHasTwentyThreeDistinctPaths) {
  for (std::size_t i = 0; i < kAssetTable.size(); ++i) {
    EXPECT_EQ(find_asset_entry(at(kAssetTable[i].path)), &kAssetTable[i]);
  }
}

}  // namespace
}  // namespace corvane
