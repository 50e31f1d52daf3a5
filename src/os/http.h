#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

// HTTP GET over one kept-alive connection. One HttpSession is one session and one connection: it
// is used by one thread at a time and reuses its connection for every request it makes. The
// session never uses a proxy, sends no Accept or Accept-Encoding header, follows redirects except
// from https to http, and verifies TLS against the system's certificate authorities. Of the
// response headers only the status code is read; the body goes to the caller's receiver piece by
// piece and is never collected here.
namespace corvane::os {

// Time-outs of a session in milliseconds. Resolve and connect together bound the connection set-up;
// send and receive bound how long a request may make no progress at all.
struct HttpTimeouts {
  std::uint32_t resolve_ms = 0;
  std::uint32_t connect_ms = 0;
  std::uint32_t send_ms = 0;
  std::uint32_t receive_ms = 0;
};

// Called on the thread that runs HttpSession::get. A receiver may throw (a writer that runs out of
// memory): the request is then ended, everything of it released, and the exception rethrown by
// get(); it never passes through the HTTP library's own frames.
class HttpReceiver {
 public:
  virtual ~HttpReceiver() = default;
  // The final response's status code, before any body byte. False stops the request.
  virtual bool on_status(std::uint32_t status) = 0;
  // The next piece of the body (at most the session's read buffer size). False stops the request.
  virtual bool on_body(const std::uint8_t* data, std::size_t size) = 0;
  // Asked while the request is under way, so that a receiver can end one that takes too long or
  // is no longer wanted: after every body piece, and on Linux also about once a second while
  // nothing arrives (while a Windows read waits, only the session's receive time-out ends it).
  // False stops the request.
  virtual bool keep_going() { return true; }
};

enum class HttpOutcome {
  kNoResponse,    // no status arrived: resolve, connect, send or receive failed, or a redirect was refused
  kStopped,       // the receiver returned false (on_status, on_body or keep_going)
  kBodyFailed,    // the connection failed or made no progress while the body was read
  kBodyCutShort,  // the server closed the connection before the body's announced length
  kBodyEnded,     // the body ended as the response framed it
};

class HttpSession {
 public:
  HttpSession();
  ~HttpSession();
  HttpSession(HttpSession&& other) noexcept;
  HttpSession& operator=(HttpSession&& other) noexcept;
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // Prepares the session; body pieces are at most `read_buffer_size` bytes. False when the HTTP
  // library cannot provide a session.
  [[nodiscard]] bool open(const HttpTimeouts& timeouts, std::size_t read_buffer_size);
  bool is_open() const { return impl_ != nullptr; }
  void close();

  // One GET of the absolute http(s) `url` (UTF-8, used as given: the path is sent as it is written,
  // "." and ".." segments included, never normalised). `extra_header` is one header line
  // without its line end ("Range: bytes=0-0"), or empty. The receiver hears the status and the
  // body until it stops the request or the body ends.
  [[nodiscard]] HttpOutcome get(std::string_view url, std::string_view extra_header,
                                HttpReceiver& receiver);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace corvane::os
