#include "net/url.h"

#include "os/text.h"

namespace corvane {
namespace {

// Lengths are measured as UTF-16 code units, as the fixed buffers of the Windows build count them.
constexpr std::size_t kHostLimit = 255;   // a 256-character buffer with its terminator
constexpr std::size_t kPathLimit = 2047;  // a 2048-character buffer with its terminator

std::size_t utf16_length(std::wstring_view text) {
  std::size_t n = 0;
  // Characters beyond U+FFFF take two units; a 16-bit wchar_t is UTF-16 already.
  for (const wchar_t c : text) n += (static_cast<std::uint32_t>(c) >> 16) != 0 ? 2 : 1;
  return n;
}

bool consume_scheme(std::wstring_view& rest, std::wstring_view scheme) {
  if (rest.size() < scheme.size()) return false;
  for (std::size_t i = 0; i < scheme.size(); ++i) {
    wchar_t c = rest[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    if (c != scheme[i]) return false;
  }
  rest.remove_prefix(scheme.size());
  return true;
}

bool parse_port(std::wstring_view text, std::uint16_t& port) {
  if (text.empty() || text.size() > 5) return false;
  std::uint32_t value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<std::uint32_t>(c - L'0');
  }
  if (value == 0 || value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

std::uint16_t default_port(bool secure) { return secure ? 443 : 80; }

}  // namespace

bool split_url(std::string_view url, UrlParts& parts) {
  const std::wstring wide = os::from_utf8(url);
  std::wstring_view rest = wide;
  bool secure;
  if (consume_scheme(rest, L"https://")) {
    secure = true;
  } else if (consume_scheme(rest, L"http://")) {
    secure = false;
  } else {
    return false;
  }

  const std::size_t authority_end = rest.find_first_of(L"/?#");
  std::wstring_view authority = rest.substr(0, authority_end);
  std::wstring_view path = authority_end == std::wstring_view::npos ? std::wstring_view{} : rest.substr(authority_end);
  if (const std::size_t query = path.find_first_of(L"?#"); query != std::wstring_view::npos) {
    path = path.substr(0, query);
  }
  if (const std::size_t at = authority.rfind(L'@'); at != std::wstring_view::npos) {
    authority.remove_prefix(at + 1);
  }

  // The host ends at the port's colon; an IPv6 literal is the bracketed text with its brackets.
  std::wstring_view host = authority;
  std::wstring_view port_text;
  bool has_port = false;
  if (!authority.empty() && authority.front() == L'[') {
    const std::size_t close = authority.find(L']');
    if (close == std::wstring_view::npos) return false;
    host = authority.substr(0, close + 1);
    const std::wstring_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != L':') return false;
      has_port = true;
      port_text = after.substr(1);
    }
  } else if (const std::size_t colon = authority.find(L':'); colon != std::wstring_view::npos) {
    host = authority.substr(0, colon);
    has_port = true;
    port_text = authority.substr(colon + 1);
  }
  if (host.empty() || utf16_length(host) > kHostLimit) return false;

  std::uint16_t port = default_port(secure);
  if (has_port && !port_text.empty() && !parse_port(port_text, port)) return false;
  if (utf16_length(path) > kPathLimit) return false;

  parts.host.assign(host);
  parts.port = port;
  parts.secure = secure;
  parts.base_path.assign(path);
  if (parts.base_path.empty() || parts.base_path.back() != L'/') parts.base_path += L'/';
  return true;
}

std::string request_url(const UrlParts& parts, std::string_view relative_path) {
  std::string url = parts.secure ? "https://" : "http://";
  url += os::to_utf8(parts.host);
  if (parts.port != default_port(parts.secure)) {
    url += ':';
    url += std::to_string(parts.port);
  }
  url += os::to_utf8(parts.base_path);
  url += relative_path;
  return url;
}

}  // namespace corvane
