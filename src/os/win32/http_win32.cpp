#include "os/http.h"

#include <windows.h>
#include <winhttp.h>

#include <string>
#include <utility>
#include <vector>

#include "os/text.h"

namespace corvane::os {
namespace {

constexpr const wchar_t* kUserAgent = L"Corvane/1.0";

// Owns one WinHTTP handle (session, connection or request).
class InternetHandle {
 public:
  InternetHandle() = default;
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  ~InternetHandle() { reset(); }
  InternetHandle(InternetHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  InternetHandle& operator=(InternetHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;

  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void reset() {
    if (handle_ != nullptr) WinHttpCloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HINTERNET handle_ = nullptr;
};

// The parts of an absolute URL that a request needs.
struct Target {
  bool secure = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring object;  // path and query, as given
};

bool crack(std::string_view url, Target& target) {
  const std::wstring wide = from_utf8(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  // Lengths of -1 ask for pointers into `wide` instead of copies.
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  if (parts.lpszHostName == nullptr || parts.dwHostNameLength == 0) return false;
  target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  target.port = parts.nPort;
  target.object.clear();
  if (parts.lpszUrlPath != nullptr) target.object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (target.object.empty()) target.object = L"/";
  if (parts.lpszExtraInfo != nullptr) target.object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  return true;
}

bool query_status(HINTERNET request, std::uint32_t& status) {
  DWORD number = 0;
  DWORD size = sizeof number;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                           &number, &size, WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  status = number;
  return true;
}

// The Content-Length header as a 64-bit number (read as text: the numeric form is 32-bit).
bool query_content_length(HINTERNET request, std::uint64_t& length) {
  wchar_t text[32];
  DWORD size = sizeof text;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  const std::size_t count = size / sizeof(wchar_t);
  if (count == 0 || count > 19) return false;
  length = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    length = length * 10 + static_cast<std::uint64_t>(text[i] - L'0');
  }
  return true;
}

bool has_header(HINTERNET request, DWORD info) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                      WINHTTP_NO_HEADER_INDEX);
  return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace

// The session is opened by open(); the connection follows the host and port of the requests and
// is kept for as long as they stay the same, so that WinHTTP reuses its kept-alive socket.
struct HttpSession::Impl {
  InternetHandle session;
  InternetHandle connection;
  std::wstring connected_host;
  INTERNET_PORT connected_port = 0;
  std::vector<std::uint8_t> buffer;

  bool connect(const Target& target) {
    if (connection && connected_host == target.host && connected_port == target.port) return true;
    connection.reset();
    connection = InternetHandle(WinHttpConnect(session.get(), target.host.c_str(), target.port, 0));
    if (!connection) return false;
    connected_host = target.host;
    connected_port = target.port;
    return true;
  }
};

HttpSession::HttpSession() = default;
HttpSession::~HttpSession() = default;
HttpSession::HttpSession(HttpSession&& other) noexcept = default;
HttpSession& HttpSession::operator=(HttpSession&& other) noexcept = default;

void HttpSession::close() { impl_.reset(); }

bool HttpSession::open(const HttpTimeouts& timeouts, std::size_t read_buffer_size) {
  close();
  if (read_buffer_size == 0 || read_buffer_size > 0x7FFFFFFF) return false;
  auto impl = std::make_unique<Impl>();
  // Direct connections only; redirects, TLS checks and decompression keep WinHTTP's defaults
  // (no https -> http redirect, certificates verified, no Accept-Encoding).
  impl->session = InternetHandle(
      WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!impl->session) return false;
  if (!WinHttpSetTimeouts(impl->session.get(), static_cast<int>(timeouts.resolve_ms),
                          static_cast<int>(timeouts.connect_ms), static_cast<int>(timeouts.send_ms),
                          static_cast<int>(timeouts.receive_ms))) {
    return false;
  }
  // The wait for the response headers is bounded by the receive time-out too. Windows does that
  // by itself; Wine bounds it only by this option, which otherwise lets a server that never
  // answers hold a request forever.
  DWORD response_timeout = timeouts.receive_ms;
  (void)WinHttpSetOption(impl->session.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_timeout,
                         sizeof response_timeout);
  impl->buffer.resize(read_buffer_size);
  impl_ = std::move(impl);
  return true;
}

HttpOutcome HttpSession::get(std::string_view url, std::string_view extra_header, HttpReceiver& receiver) {
  if (!impl_) return HttpOutcome::kNoResponse;
  Target target;
  if (!crack(url, target) || !impl_->connect(target)) return HttpOutcome::kNoResponse;

  // Default HTTP version, no referrer, no accept types.
  const InternetHandle request(WinHttpOpenRequest(impl_->connection.get(), L"GET", target.object.c_str(), nullptr,
                                                  WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                  target.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request) return HttpOutcome::kNoResponse;
  const std::wstring header = from_utf8(extra_header);
  const BOOL sent = header.empty()
                        ? WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                             WINHTTP_NO_REQUEST_DATA, 0, 0, 0)
                        : WinHttpSendRequest(request.get(), header.c_str(), static_cast<DWORD>(-1),
                                             WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
  if (!sent || !WinHttpReceiveResponse(request.get(), nullptr)) return HttpOutcome::kNoResponse;

  std::uint32_t status = 0;
  if (!query_status(request.get(), status)) return HttpOutcome::kNoResponse;
  // WinHTTP follows redirects itself; a redirect that reaches us is one it refused to follow
  // (https -> http), and so is no final response.
  if (status >= 300 && status < 400 && has_header(request.get(), WINHTTP_QUERY_LOCATION)) {
    return HttpOutcome::kNoResponse;
  }
  if (!receiver.on_status(status) || !receiver.keep_going()) return HttpOutcome::kStopped;

  // The announced length only tells a body cut short by the server from one that ended; the
  // caller counts the bytes itself.
  std::uint64_t announced = 0;
  const bool has_length = query_content_length(request.get(), announced);
  std::uint64_t received = 0;
  std::vector<std::uint8_t>& buffer = impl_->buffer;
  for (;;) {
    // Read what has arrived rather than wait for a full buffer, so that a trickling body reaches
    // the receiver (and its keep_going) piece by piece. 0 available: the body has ended.
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &available)) return HttpOutcome::kBodyFailed;
    if (available == 0) break;
    const DWORD want = available < buffer.size() ? available : static_cast<DWORD>(buffer.size());
    DWORD read = 0;
    if (!WinHttpReadData(request.get(), buffer.data(), want, &read)) return HttpOutcome::kBodyFailed;
    if (read == 0) break;
    received += read;
    if (!receiver.on_body(buffer.data(), read) || !receiver.keep_going()) return HttpOutcome::kStopped;
  }
  return has_length && received < announced ? HttpOutcome::kBodyCutShort : HttpOutcome::kBodyEnded;
}

}  // namespace corvane::os
