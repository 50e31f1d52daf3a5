#include "os/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <exception>
#include <mutex>
#include <string>
#include <utility>

namespace corvane::os {
namespace {

constexpr const char* kUserAgent = "Corvane/1.0";
constexpr long kMaxRedirects = 10;

void init_curl_once() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char a = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
    if (a != prefix[i]) return false;
  }
  return true;
}

// Frees a curl header list when it goes.
struct HeaderList {
  curl_slist* list = nullptr;
  ~HeaderList() { curl_slist_free_all(list); }
  [[nodiscard]] bool append(const std::string& line) {
    curl_slist* next = curl_slist_append(list, line.c_str());
    if (next == nullptr) return false;
    list = next;
    return true;
  }
};

}  // namespace

struct HttpSession::Impl {
  CURL* easy = nullptr;
  // State of the request under way.
  HttpReceiver* receiver = nullptr;
  bool status_delivered = false;
  bool stopped = false;
  bool location_seen = false;
  // Thrown by the receiver inside a curl callback: kept here, since it may not pass through curl's
  // C frames, and rethrown by get() once curl has returned.
  std::exception_ptr receiver_error;

  ~Impl() {
    if (easy != nullptr) curl_easy_cleanup(easy);
  }

  // Every header line of every response in a redirect chain comes here. Only the status of the
  // final response is handed on: interim (1xx) responses and redirects that curl follows (3xx with
  // a Location) are passed over.
  static std::size_t on_header(char* data, std::size_t size, std::size_t count, void* context) {
    auto* self = static_cast<Impl*>(context);
    const std::size_t length = size * count;
    const std::string_view line(data, length);
    if (self->status_delivered) return length;
    if (starts_with_ignoring_case(line, "location:")) self->location_seen = true;
    if (line != "\r\n" && line != "\n") return length;

    long code = 0;
    curl_easy_getinfo(self->easy, CURLINFO_RESPONSE_CODE, &code);
    const bool redirect = code >= 300 && code < 400 && self->location_seen;
    self->location_seen = false;
    if (code < 200 || redirect) return length;
    self->status_delivered = true;
    const auto status = static_cast<std::uint32_t>(code);
    return self->deliver([&] { return self->receiver->on_status(status); }) ? length : 0;
  }

  static std::size_t on_body(char* data, std::size_t size, std::size_t count, void* context) {
    auto* self = static_cast<Impl*>(context);
    const std::size_t length = size * count;
    if (self->stopped || !self->status_delivered) return 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    return self->deliver([&] { return self->receiver->on_body(bytes, length); }) ? length : 0;
  }

  // curl's progress callback, also called about once a second while nothing moves; non-zero
  // aborts the transfer.
  static int on_progress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* self = static_cast<Impl*>(context);
    if (self->stopped || self->receiver == nullptr) return self->stopped ? 1 : 0;
    return self->deliver([&] { return self->receiver->keep_going(); }) ? 0 : 1;
  }

  // Runs one receiver call; false (also when it throws) stops the request.
  template <typename Call>
  bool deliver(Call&& call) noexcept {
    try {
      if (call()) return true;
    } catch (...) {
      receiver_error = std::current_exception();
    }
    stopped = true;
    return false;
  }
};

HttpSession::HttpSession() = default;
HttpSession::~HttpSession() = default;
HttpSession::HttpSession(HttpSession&& other) noexcept = default;
HttpSession& HttpSession::operator=(HttpSession&& other) noexcept = default;

void HttpSession::close() { impl_.reset(); }

bool HttpSession::open(const HttpTimeouts& timeouts, std::size_t read_buffer_size) {
  close();
  init_curl_once();
  auto impl = std::make_unique<Impl>();
  impl->easy = curl_easy_init();
  if (impl->easy == nullptr) return false;
  CURL* e = impl->easy;

  // Connection set-up covers name resolution and the TCP/TLS connect; a stalled request or body
  // is one that moves less than one byte per second for the send or receive time.
  const long setup_ms = static_cast<long>(timeouts.resolve_ms) + static_cast<long>(timeouts.connect_ms);
  const std::uint32_t stall_ms = std::max(timeouts.send_ms, timeouts.receive_ms);
  const long stall_s = std::max<long>(1, static_cast<long>((stall_ms + 999) / 1000));

  const bool ok =
      curl_easy_setopt(e, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_PROXY, "") == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_NOPROXY, "*") == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
      // The request path goes out exactly as given: "/./" and "/../" are never squashed.
      curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, setup_ms) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, stall_s) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_BUFFERSIZE, static_cast<long>(read_buffer_size)) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::on_header) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_HEADERDATA, impl.get()) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::on_body) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_WRITEDATA, impl.get()) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Impl::on_progress) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_XFERINFODATA, impl.get()) == CURLE_OK &&
      curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
  if (!ok) return false;
  impl_ = std::move(impl);
  return true;
}

HttpOutcome HttpSession::get(std::string_view url, std::string_view extra_header,
                             HttpReceiver& receiver) {
  if (!impl_) return HttpOutcome::kNoResponse;
  CURL* e = impl_->easy;
  impl_->receiver = &receiver;
  impl_->status_delivered = false;
  impl_->stopped = false;
  impl_->location_seen = false;
  impl_->receiver_error = nullptr;

  // "Accept:" with nothing after it removes curl's default Accept header.
  HeaderList headers;
  if (!headers.append("Accept:")) return HttpOutcome::kNoResponse;
  if (!extra_header.empty() && !headers.append(std::string(extra_header))) return HttpOutcome::kNoResponse;

  // A redirect may not leave https for plain http.
  const bool secure = starts_with_ignoring_case(url, "https:");
  const std::string url_text(url);
  if (curl_easy_setopt(e, CURLOPT_URL, url_text.c_str()) != CURLE_OK ||
      curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.list) != CURLE_OK ||
      curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https") != CURLE_OK) {
    return HttpOutcome::kNoResponse;
  }
  const CURLcode rc = curl_easy_perform(e);
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, nullptr);
  impl_->receiver = nullptr;
  if (impl_->receiver_error) std::rethrow_exception(std::exchange(impl_->receiver_error, nullptr));

  if (impl_->stopped) return HttpOutcome::kStopped;
  if (!impl_->status_delivered) return HttpOutcome::kNoResponse;
  switch (rc) {
    case CURLE_OK: return HttpOutcome::kBodyEnded;
    case CURLE_PARTIAL_FILE: return HttpOutcome::kBodyCutShort;
    default: return HttpOutcome::kBodyFailed;
  }
}

}  // namespace corvane::os
