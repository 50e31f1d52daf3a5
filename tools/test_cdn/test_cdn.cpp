#include "test_cdn.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <thread>
#include <vector>

#include "cdn_platform.h"

namespace corvane::test_cdn {
namespace {

using platform::Socket;

constexpr std::size_t kHeadLimit = 16384;
constexpr int kIdleMs = 30000;  // a kept-alive connection that stays silent this long is closed
constexpr int kPollMs = 100;    // how often waiting threads look whether the server stops
constexpr std::size_t kCopyBuffer = 256 * 1024;

struct Request {
  std::string head;  // request line and headers, without the blank line
  std::string method;
  std::string path;  // target without query, as sent
  bool keep_alive = true;
  std::optional<std::string> range;
  std::uint64_t connection = 0;  // which accepted connection it came on (1, 2, ...)
};

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool parse_request(std::string_view head, Request& request) {
  const std::size_t line_end = head.find("\r\n");
  const std::string_view line = head.substr(0, line_end);
  const std::size_t sp1 = line.find(' ');
  const std::size_t sp2 = line.rfind(' ');
  if (sp1 == std::string_view::npos || sp2 == sp1) return false;
  request.method = std::string(line.substr(0, sp1));
  std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  const std::string_view version = line.substr(sp2 + 1);
  if (const std::size_t q = target.find_first_of("?#"); q != std::string_view::npos) target = target.substr(0, q);
  if (target.empty() || target.front() != '/') return false;
  request.path = std::string(target);
  request.keep_alive = version == "HTTP/1.1";

  std::size_t pos = line_end == std::string_view::npos ? head.size() : line_end + 2;
  while (pos < head.size()) {
    const std::size_t end = head.find("\r\n", pos);
    const std::string_view header = head.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    pos = end == std::string_view::npos ? head.size() : end + 2;
    const std::size_t colon = header.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string name = lower(trim(header.substr(0, colon)));
    const std::string_view value = trim(header.substr(colon + 1));
    if (name == "range") request.range = std::string(value);
    if (name == "connection") {
      const std::string v = lower(value);
      if (v == "close") request.keep_alive = false;
      if (v == "keep-alive") request.keep_alive = true;
    }
  }
  return true;
}

// Decodes %XX and refuses paths that could leave the root (a backslash is a separator on
// Windows).
std::optional<std::string> decode_path(std::string_view path) {
  const auto hex = [](char h) -> int {
    if (h >= '0' && h <= '9') return h - '0';
    if (h >= 'a' && h <= 'f') return h - 'a' + 10;
    if (h >= 'A' && h <= 'F') return h - 'A' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < path.size(); ++i) {
    char c = path[i];
    if (c == '%') {
      if (i + 2 >= path.size()) return std::nullopt;
      const int hi = hex(path[i + 1]);
      const int lo = hex(path[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      c = static_cast<char>(hi * 16 + lo);
      i += 2;
    }
    if (c == '\0' || c == '\\') return std::nullopt;
    out += c;
  }
  std::size_t start = 0;
  while (start <= out.size()) {
    const std::size_t end = std::min(out.find('/', start), out.size());
    if (out.compare(start, end - start, "..") == 0) return std::nullopt;
    start = end + 1;
  }
  return out;
}

// A single byte range against a file of `size` bytes: nullopt when the header is to be ignored,
// first > last (as {1, 0}) when it is unsatisfiable.
struct Range {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
};

bool parse_number(std::string_view text, std::uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

std::optional<Range> parse_range(std::string_view header, std::uint64_t size) {
  if (header.substr(0, 6) != "bytes=") return std::nullopt;
  const std::string_view byte_range = trim(header.substr(6));
  if (byte_range.find(',') != std::string_view::npos) return std::nullopt;
  const std::size_t dash = byte_range.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const std::string_view a = trim(byte_range.substr(0, dash));
  const std::string_view b = trim(byte_range.substr(dash + 1));
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  if (a.empty()) {
    std::uint64_t suffix = 0;
    if (!parse_number(b, suffix)) return std::nullopt;
    if (suffix == 0 || size == 0) return Range{1, 0};
    first = size - std::min(suffix, size);
    return Range{first, size - 1};
  }
  if (!parse_number(a, first)) return std::nullopt;
  if (b.empty()) {
    last = size == 0 ? 0 : size - 1;
  } else {
    if (!parse_number(b, last) || last < first) return std::nullopt;
    last = std::min(last, size == 0 ? 0 : size - 1);
  }
  if (first >= size) return Range{1, 0};
  return Range{first, last};
}

const char* reason(unsigned status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 416: return "Range Not Satisfiable";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

struct FaultRule {
  Fault fault;
  std::uint32_t seen = 0;
};

}  // namespace

struct Server::State {
  std::string root;
  Socket listener = platform::kNoSocket;
  std::uint16_t port = 0;
  std::atomic<bool> stopping{false};
  std::thread acceptor;

  mutable std::mutex mutex;  // guards everything below
  std::condition_variable wake;
  std::vector<FaultRule> faults;
  std::map<std::string, PathCounters> counters;
  PathCounters totals;
  std::uint64_t connections = 0;
  std::uint64_t connection_ids = 0;  // never reset: a counter's last connection stays unique
  std::set<Socket> open_sockets;
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };
  std::vector<Worker> workers;

  // Waits up to `ms`; false when the server is stopping.
  bool pause(std::uint64_t ms) {
    std::unique_lock<std::mutex> lock(mutex);
    return !wake.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping.load(); });
  }

  // The fault for one request (or, for kRefuse, one connection), counting it against its rule.
  std::optional<Fault> take_fault(const std::string* path, bool ranged = false) {
    std::lock_guard<std::mutex> lock(mutex);
    for (FaultRule& rule : faults) {
      const bool refuse = rule.fault.kind == FaultKind::kRefuse;
      if (refuse != (path == nullptr)) continue;
      if (!refuse && !rule.fault.path.empty() && rule.fault.path != *path) continue;
      if (!refuse && rule.fault.only_ranged && !ranged) continue;
      const std::uint32_t index = rule.seen++;
      if (index < rule.fault.skip) continue;
      if (rule.fault.times != kAlways && index - rule.fault.skip >= rule.fault.times) continue;
      return rule.fault;
    }
    return std::nullopt;
  }

  void count_request(const Request& request) {
    const bool ranged = request.range.has_value();
    std::lock_guard<std::mutex> lock(mutex);
    PathCounters& c = counters[request.path];
    if (request.connection != c.last_connection) ++c.connections;
    c.last_connection = request.connection;
    c.last_head = request.head;
    totals.last_head = request.head;
    ++c.requests;
    ++totals.requests;
    if (ranged) {
      ++c.ranged_requests;
      ++totals.ranged_requests;
    }
  }

  void count_bytes(const std::string& path, std::uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex);
    counters[path].body_bytes += bytes;
    totals.body_bytes += bytes;
  }

  void accept_loop();
  void serve_connection(Socket fd);
  // Reads more of the request into `buffer`; false at the end of the connection, after a silence
  // of kIdleMs, or when the server stops.
  bool read_more(Socket fd, std::string& buffer);
  // Answers one request; false when the connection must end.
  bool answer(Socket fd, const Request& request);
  bool send_status(Socket fd, const Request& request, unsigned status, const std::string& extra = {});
  bool send_file_range(Socket fd, const Request& request, platform::ServedFile& file, std::uint64_t offset,
                       std::uint64_t length, const std::optional<Fault>& fault);
};

void Server::State::accept_loop() {
  while (!stopping) {
    const int ready = platform::wait_readable(listener, kPollMs);
    if (ready < 0) return;
    if (ready == 0 || stopping) continue;
    const Socket fd = platform::accept_connection(listener);
    if (fd == platform::kNoSocket) continue;  // the client went away, or no descriptor was free
    if (take_fault(nullptr)) {
      platform::set_reset_on_close(fd);
      platform::close_socket(fd);
      std::lock_guard<std::mutex> lock(mutex);
      ++connections;
      continue;
    }

    std::lock_guard<std::mutex> lock(mutex);
    ++connections;
    open_sockets.insert(fd);
    // Reap the threads of connections that have ended.
    for (auto it = workers.begin(); it != workers.end();) {
      if (it->finished->load()) {
        it->thread.join();
        it = workers.erase(it);
      } else {
        ++it;
      }
    }
    auto finished = std::make_shared<std::atomic<bool>>(false);
    workers.push_back(Worker{std::thread([this, fd, finished] {
                               serve_connection(fd);
                               finished->store(true);
                             }),
                             finished});
  }
}

bool Server::State::read_more(Socket fd, std::string& buffer) {
  int silent_ms = 0;
  while (!stopping) {
    const int ready = platform::wait_readable(fd, kPollMs);
    if (ready < 0) return false;
    if (ready == 0) {
      silent_ms += kPollMs;
      if (silent_ms >= kIdleMs) return false;
      continue;
    }
    char chunk[4096];
    const long n = platform::receive(fd, chunk, sizeof chunk);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(n));
    return true;
  }
  return false;
}

void Server::State::serve_connection(Socket fd) {
  std::uint64_t connection;
  {
    std::lock_guard<std::mutex> lock(mutex);
    connection = ++connection_ids;
  }
  std::string buffer;
  bool open = true;
  while (open && !stopping) {
    std::size_t head_end;
    while ((head_end = buffer.find("\r\n\r\n")) == std::string::npos) {
      if (buffer.size() > kHeadLimit || !read_more(fd, buffer)) {
        open = false;
        break;
      }
    }
    if (!open) break;
    Request request;
    request.connection = connection;
    request.head = buffer.substr(0, head_end);
    buffer.erase(0, head_end + 4);
    if (!parse_request(request.head, request)) {
      request.keep_alive = false;
      (void)send_status(fd, request, 400);
      break;
    }
    open = answer(fd, request) && request.keep_alive;
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    open_sockets.erase(fd);
  }
  platform::close_socket(fd);
}

bool Server::State::send_status(Socket fd, const Request& request, unsigned status, const std::string& extra) {
  const std::string body = std::to_string(status) + " " + reason(status) + "\n";
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\n" +
                     "Content-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
                     "\r\n" + extra + (request.keep_alive ? "" : "Connection: close\r\n") + "\r\n";
  if (request.method != "HEAD") head += body;
  if (!platform::send_all(fd, head.data(), head.size())) return false;
  if (request.method != "HEAD") count_bytes(request.path, body.size());
  return true;
}

bool Server::State::answer(Socket fd, const Request& request) {
  count_request(request);
  const std::optional<Fault> fault = take_fault(&request.path, request.range.has_value());
  if (fault && fault->kind == FaultKind::kDelayHeaders && !pause(fault->delay_ms)) return false;
  if (fault && fault->kind == FaultKind::kStatus) return send_status(fd, request, fault->status);
  if (fault && fault->kind == FaultKind::kRedirect) {
    return send_status(fd, request, 302, "Location: " + fault->location + "\r\n");
  }
  if (request.method != "GET" && request.method != "HEAD") return send_status(fd, request, 405);

  const std::optional<std::string> relative = decode_path(request.path);
  if (!relative) return send_status(fd, request, 404);
  platform::ServedFile file;
  if (!file.open(root + *relative)) return send_status(fd, request, 404);
  const std::uint64_t size = file.size();

  std::optional<Range> range;
  if (request.range && !(fault && fault->kind == FaultKind::kIgnoreRange)) {
    range = parse_range(*request.range, size);
  }
  if (range && fault && fault->kind == FaultKind::kOtherRange && range->first <= range->last) {
    const std::uint64_t length = range->last - range->first + 1;
    range->first = range->last + fault->bytes < size ? range->first + fault->bytes : 0;
    range->last = range->first + length - 1;
  }
  bool ok;
  if (range && range->first > range->last) {
    ok = send_status(fd, request, 416, "Content-Range: bytes */" + std::to_string(size) + "\r\n");
  } else {
    const std::uint64_t offset = range ? range->first : 0;
    const std::uint64_t length = range ? range->last - range->first + 1 : size;
    std::uint64_t announced = length;
    if (fault && fault->kind == FaultKind::kLongBody) announced += fault->bytes;
    std::string head = range ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
    head += "Content-Type: application/octet-stream\r\nAccept-Ranges: bytes\r\nContent-Length: " +
            std::to_string(announced) + "\r\n";
    if (range) {
      head += "Content-Range: bytes " + std::to_string(range->first) + "-" +
              std::to_string(range->last) + "/" + std::to_string(size) + "\r\n";
    }
    if (!request.keep_alive) head += "Connection: close\r\n";
    head += "\r\n";
    ok = platform::send_all(fd, head.data(), head.size()) &&
         (request.method == "HEAD" || send_file_range(fd, request, file, offset, length, fault));
  }
  return ok;
}

// Sends `length` bytes of `file` from `offset`, shaped by the fault. False when the connection
// must end (including the faults that cut it).
bool Server::State::send_file_range(Socket fd, const Request& request, platform::ServedFile& file,
                                    std::uint64_t offset, std::uint64_t length, const std::optional<Fault>& fault) {
  const FaultKind kind = fault ? fault->kind : FaultKind::kStatus;
  const bool cut = fault && (kind == FaultKind::kDropAfter || kind == FaultKind::kShortBody);
  const bool slow = fault && kind == FaultKind::kSlowBody && fault->bytes_per_second > 0;
  const bool long_body = fault && kind == FaultKind::kLongBody;
  const bool flip = fault && kind == FaultKind::kFlipByte;
  std::uint64_t to_send = cut ? std::min(length, fault->bytes) : length;
  if (long_body) to_send += fault->bytes;

  if (!cut && !slow && !long_body && !flip) {
    return file.send_range(fd, offset, to_send, [&](std::uint64_t n) { count_bytes(request.path, n); });
  }

  // Shaped bodies go through a buffer; bytes past the end of the file are zeros.
  std::vector<char> buffer(kCopyBuffer);
  const std::uint64_t step = slow ? std::max<std::uint64_t>(1, fault->bytes_per_second / 10) : kCopyBuffer;
  std::uint64_t sent = 0;
  while (sent < to_send) {
    const std::size_t want = static_cast<std::size_t>(std::min({to_send - sent, step, std::uint64_t{kCopyBuffer}}));
    const std::size_t have = file.read_at(offset + sent, buffer.data(), want);
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(have), buffer.begin() + static_cast<std::ptrdiff_t>(want), 0);
    if (flip && fault->bytes >= offset + sent && fault->bytes < offset + sent + want) {
      buffer[static_cast<std::size_t>(fault->bytes - offset - sent)] ^= static_cast<char>(0xFF);
    }
    if (!platform::send_all(fd, buffer.data(), want)) return false;
    sent += want;
    count_bytes(request.path, want);
    if (slow && sent < to_send && !pause(100)) return false;
  }
  if (kind == FaultKind::kDropAfter && cut) {
    // The caller closes the socket; this makes that close a reset.
    platform::set_reset_on_close(fd);
    return false;
  }
  if (kind == FaultKind::kShortBody && cut) {
    platform::shutdown_send(fd);
    return false;
  }
  return true;
}

Server::Server() : state_(std::make_unique<State>()) {}

Server::~Server() { stop(); }

bool Server::start(const std::string& root, std::uint16_t port) {
  stop();
  state_ = std::make_unique<State>();
  if (!platform::init_sockets()) return false;
  state_->root = root;
  while (!state_->root.empty() && (state_->root.back() == '/' || state_->root.back() == '\\')) {
    state_->root.pop_back();
  }
  const Socket listener = platform::listen_loopback(port, state_->port);
  if (listener == platform::kNoSocket) return false;
  state_->listener = listener;
  State* state = state_.get();
  state_->acceptor = std::thread([state] { state->accept_loop(); });
  return true;
}

void Server::stop() {
  State& s = *state_;
  if (s.listener == platform::kNoSocket) return;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.stopping = true;
    for (const Socket fd : s.open_sockets) platform::shutdown_both(fd);
  }
  s.wake.notify_all();
  // The acceptor and the connections look at `stopping` between short waits.
  if (s.acceptor.joinable()) s.acceptor.join();
  platform::close_socket(s.listener);
  s.listener = platform::kNoSocket;
  // No new connection can appear now; wake the ones that started meanwhile, then join them all.
  std::vector<State::Worker> workers;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const Socket fd : s.open_sockets) platform::shutdown_both(fd);
    workers.swap(s.workers);
  }
  for (State::Worker& worker : workers) worker.thread.join();
}

std::uint16_t Server::port() const { return state_->port; }

std::string Server::base_url() const { return "http://127.0.0.1:" + std::to_string(state_->port) + "/"; }

void Server::close_connections() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  for (const Socket fd : state_->open_sockets) platform::shutdown_both(fd);
}

void Server::add_fault(const Fault& fault) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->faults.push_back(FaultRule{fault, 0});
}

void Server::clear_faults() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->faults.clear();
}

PathCounters Server::counters(const std::string& path) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto found = state_->counters.find(path);
  return found == state_->counters.end() ? PathCounters{} : found->second;
}

PathCounters Server::totals() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->totals;
}

std::uint64_t Server::connections() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->connections;
}

void Server::reset_counters() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->counters.clear();
  state_->totals = PathCounters{};
  state_->connections = 0;
}

}  // namespace corvane::test_cdn
