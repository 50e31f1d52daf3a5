#include "net/http_client.h"

#include "net/wait_limits.h"

namespace corvane {
namespace {

// Remembers the status and stops before the body.
class StatusOnly final : public os::HttpReceiver {
 public:
  bool on_status(std::uint32_t status) override {
    status_ = status;
    return false;
  }
  bool on_body(const std::uint8_t*, std::size_t) override { return false; }
  std::uint32_t status() const { return status_; }

 private:
  std::uint32_t status_ = 0;
};

}  // namespace

bool http_get_to_memory(const UrlParts& parts, std::string_view relative_path,
                        std::size_t max_bytes, std::string& body, std::uint32_t* status) {
  body.clear();
  if (status != nullptr) *status = 0;
  os::HttpSession session;
  if (!session.open(kShortTimeouts, kShortReadBuffer)) return false;
  MemoryReceiver receiver(body, max_bytes, std::chrono::steady_clock::now() + wait_limits().document_deadline);
  const os::HttpOutcome outcome = session.get(request_url(parts, relative_path), {}, receiver);
  if (status != nullptr) *status = receiver.status();
  return receiver.finish(outcome);
}

bool probe_range_support(const UrlParts& parts, std::string_view relative_path) {
  os::HttpSession session;
  if (!session.open(kShortTimeouts, kShortReadBuffer)) return false;
  StatusOnly receiver;
  (void)session.get(request_url(parts, relative_path), "Range: bytes=0-0", receiver);
  return receiver.status() == 206;
}

std::optional<WorkerConnection> open_worker_connection(const UrlParts& parts) {
  if (parts.host.empty()) return std::nullopt;
  WorkerConnection connection;
  if (!connection.session.open(kWorkerTimeouts, kWorkerReadBuffer)) return std::nullopt;
  return connection;
}

bool fetch_part(WorkerConnection& connection, const UrlParts& parts, const DownloadPart& part,
                PartSink write, void* write_context, DownloadPool& pool, bool& fatal, bool* too_slow) {
  fatal = false;
  if (too_slow != nullptr) *too_slow = false;
  const std::string header = part.length != 0 ? range_header(part.offset, part.length) : std::string();
  const WaitLimits limits = wait_limits();
  PartReceiver receiver(part, write, write_context, pool.bytes_done,
                        ThroughputFloor(limits.part_floor_bytes, limits.part_floor_window, std::chrono::steady_clock::now()),
                        pool.cancel);
  const os::HttpOutcome outcome =
      connection.session.get(request_url(parts, part.url_path), header, receiver);
  if (too_slow != nullptr) *too_slow = receiver.too_slow();
  return receiver.finish(outcome, fatal);
}

}  // namespace corvane
