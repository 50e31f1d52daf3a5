#include "net/url.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

UrlParts split_ok(const std::string& url) {
  UrlParts parts;
  EXPECT_TRUE(split_url(url, parts)) << url;
  return parts;
}

TEST(SplitUrl, FillsHostPortPathAndScheme) {
  UrlParts p = split_ok("https://cdn.example.net/release/");
  EXPECT_EQ(p.host, L"cdn.example.net");
  EXPECT_EQ(p.port, 443);
  EXPECT_EQ(p.base_path, L"/release/");
  EXPECT_TRUE(p.secure);

  p = split_ok("http://127.0.0.1:8080/a/b/");
  EXPECT_EQ(p.host, L"127.0.0.1");
  EXPECT_EQ(p.port, 8080);
  EXPECT_EQ(p.base_path, L"/a/b/");
  EXPECT_FALSE(p.secure);

  EXPECT_EQ(split_ok("HTTP://host/").port, 80);
  EXPECT_EQ(split_ok("http://host:/x/").port, 80);
  p = split_ok("http://[::1]:9000/r/");
  EXPECT_EQ(p.host, L"[::1]");
  EXPECT_EQ(p.port, 9000);
}

TEST(SplitUrl, BasePathAlwaysEndsWithSlashAndLosesQueryAndUserInfo) {
  EXPECT_EQ(split_ok("https://h/release").base_path, L"/release/");
  EXPECT_EQ(split_ok("https://h").base_path, L"/");
  EXPECT_EQ(split_ok("https://h?x=1").base_path, L"/");
  EXPECT_EQ(split_ok("https://h/release/?token=abc#top").base_path, L"/release/");
  EXPECT_EQ(split_ok("https://h/a#frag/b").base_path, L"/a/");
  const UrlParts p = split_ok("https://user:secret@h:444/p/");
  EXPECT_EQ(p.host, L"h");
  EXPECT_EQ(p.port, 444);
}

TEST(SplitUrl, RejectsWhatCannotBeAddressed) {
  UrlParts p;
  for (const char* bad : {"https:///release/", "http://:80/", "ftp://h/", "h/release/", "",
                          "http://h:0/", "http://h:65536/", "http://h:8a/", "http://[::1/"}) {
    EXPECT_FALSE(split_url(bad, p)) << bad;
  }
}

TEST(SplitUrl, HostAndPathLimitsCountTheTerminator) {
  UrlParts p;
  const std::string host255(255, 'a');
  EXPECT_TRUE(split_url("https://" + host255 + "/", p));
  EXPECT_FALSE(split_url("https://" + host255 + "a/", p));

  const std::string path2047 = "/" + std::string(2046, 'p');
  EXPECT_TRUE(split_url("https://h" + path2047, p));
  EXPECT_EQ(p.base_path.size(), 2048u);  // the appended "/" comes after the limit
  EXPECT_FALSE(split_url("https://h" + path2047 + "p", p));
  // A non-BMP character takes two UTF-16 units of the host buffer.
  EXPECT_FALSE(split_url("https://" + std::string(254, 'a') + "\xF0\x9F\x98\x80/", p));
  EXPECT_TRUE(split_url("https://" + std::string(253, 'a') + "\xF0\x9F\x98\x80/", p));
}

TEST(RequestUrl, JoinsBasePathAndRelativePathUnchanged) {
  const UrlParts secure = split_ok("https://cdn.example.net/release");
  EXPECT_EQ(request_url(secure, "files/bin/a%20b%2Bc.dll.lzms"),
            "https://cdn.example.net/release/files/bin/a%20b%2Bc.dll.lzms");
  const UrlParts local = split_ok("http://127.0.0.1:41234/release/");
  EXPECT_EQ(request_url(local, "manifest.json"), "http://127.0.0.1:41234/release/manifest.json");
  EXPECT_EQ(request_url(split_ok("https://h:8443"), "x"), "https://h:8443/x");
}

}  // namespace
}  // namespace corvane
