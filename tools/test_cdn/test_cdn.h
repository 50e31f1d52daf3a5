#pragma once
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

// A small HTTP/1.1 server that serves a release folder on 127.0.0.1 for tests, demos and
// benchmarks: GET and HEAD with single byte ranges (206 with Content-Range, 416 when unsatisfiable),
// keep-alive, one thread per connection, and faults on demand. It counts requests and body bytes
// per request path so that a test can prove what was fetched. A running server stops when stop()
// is called or the object goes; every wait inside it wakes up on stop.
namespace corvane::test_cdn {

enum class FaultKind {
  kStatus,        // answer `status` (404, 403, 500, ...) with a short body
  kDropAfter,     // send the headers and `bytes` body bytes, then reset the connection
  kShortBody,     // announce the full length, send `bytes` body bytes, then close the connection
  kLongBody,      // send `bytes` more body bytes than asked for, announced in Content-Length
  kSlowBody,      // send the body at `bytes_per_second`
  kIgnoreRange,   // answer 200 with the whole file even when a range was asked for
  kDelayHeaders,  // wait `delay_ms` before the headers
  kRedirect,      // answer 302 with "Location: `location`"
  kRefuse,        // reset each new connection before reading anything (`path` is ignored)
  kFlipByte,      // send the body with the file's byte at offset `bytes` inverted, where it is sent
  kOtherRange,    // answer a range with the range of the same length `bytes` further on (or from 0
                  // when that passes the end), announced in its own Content-Range
};

inline constexpr std::uint32_t kAlways = std::numeric_limits<std::uint32_t>::max();

struct Fault {
  FaultKind kind = FaultKind::kStatus;
  std::string path;                   // request path as sent ("/release/files/a.bin"); empty: all
  std::uint32_t status = 500;         // kStatus
  std::uint64_t bytes = 0;            // kDropAfter, kShortBody, kLongBody; kFlipByte: file offset
  std::uint64_t bytes_per_second = 0; // kSlowBody
  std::uint32_t delay_ms = 0;         // kDelayHeaders
  std::string location;               // kRedirect: a path or an absolute URL
  std::uint32_t skip = 0;             // matching requests (connections for kRefuse) served normally first
  std::uint32_t times = kAlways;      // matching requests the fault then applies to
  bool only_ranged = false;           // only requests that carry a Range header match
};

struct PathCounters {
  std::uint64_t requests = 0;
  std::uint64_t ranged_requests = 0;  // requests that carried a Range header
  std::uint64_t body_bytes = 0;       // body bytes written to the socket
  std::uint64_t connections = 0;      // connections it was asked on, counted at each change of connection
  std::uint64_t last_connection = 0;
  std::string last_head;              // request line and headers of the latest request
};

class Server {
 public:
  Server();
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Serves the folder `root` on 127.0.0.1:`port` (0: a free port). False when it cannot listen.
  [[nodiscard]] bool start(const std::string& root, std::uint16_t port = 0);
  // Closes the listener and every connection and joins every thread. Idempotent.
  void stop();

  std::uint16_t port() const;
  std::string base_url() const;  // "http://127.0.0.1:<port>/"

  // Ends every open connection, so that a client that keeps connections alive must open a new one
  // for its next request.
  void close_connections();

  // Faults are matched in the order they were added; the first that matches a request applies.
  void add_fault(const Fault& fault);
  void clear_faults();

  PathCounters counters(const std::string& path) const;
  PathCounters totals() const;
  std::uint64_t connections() const;  // connections accepted
  void reset_counters();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace corvane::test_cdn
