#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// The split form of the CDN base URL and the absolute URL of one request below it.
namespace corvane {

struct UrlParts {
  std::wstring host;        // host name (an IPv6 literal keeps its brackets); at most 255 characters
  std::uint16_t port = 0;   // the URL's port, or the scheme's default (80, 443)
  std::wstring base_path;   // the URL's path without query or fragment; always ends with "/"
  bool secure = false;      // the scheme is https
};

// Splits an http or https URL (UTF-8). Fails for another scheme, an empty host, a host longer than
// 255 characters, a bad port, or a path longer than 2047 characters. User name, password, query and
// fragment are dropped.
[[nodiscard]] bool split_url(std::string_view url, UrlParts& parts);

// scheme://host[:port] + base_path + relative_path; the relative path (UTF-8) is used unchanged,
// and the port is written only when it is not the scheme's default.
std::string request_url(const UrlParts& parts, std::string_view relative_path);

}  // namespace corvane
