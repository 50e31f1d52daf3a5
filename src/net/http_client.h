#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/download_part.h"
#include "net/http_rules.h"
#include "net/url.h"
#include "os/http.h"

// The requests of the update engine against the CDN: a small document into memory, the range
// probe, and one part of a file on a worker's kept-alive connection. Results are true or false;
// the caller decides what a failure means.
namespace corvane {

// A download worker's session and connection, reused for all of that worker's parts. Used by one
// thread at a time.
struct WorkerConnection {
  os::HttpSession session;
};

// GET base_path + relative_path into `body` (bytes as received). True only for status 200 with a
// complete body of at most `max_bytes` that arrived within the document deadline (wait_limits);
// on false `body` is empty. `status` (may be null) receives
// the response's status even when the call fails, 0 when no response arrived.
[[nodiscard]] bool http_get_to_memory(const UrlParts& parts, std::string_view relative_path,
                                      std::size_t max_bytes, std::string& body,
                                      std::uint32_t* status);

// True when the server answers "Range: bytes=0-0" for the path with 206. The body is not read.
[[nodiscard]] bool probe_range_support(const UrlParts& parts, std::string_view relative_path);

// A worker's session with the long time-outs; empty when none can be made.
std::optional<WorkerConnection> open_worker_connection(const UrlParts& parts);

// One attempt at one part: a GET of the part's url_path, ranged when its length is not 0. Every
// piece of the body goes to `write(write_context, part, file_offset, data, size)` and is counted
// into `pool.bytes_done` (a failed attempt's bytes stay counted). `fatal` tells a failure that a
// retry is not expected to cure. The attempt is given up when it falls below the part floor
// (wait_limits), which `too_slow` (may be null) then tells, or once `pool.cancel` is set.
[[nodiscard]] bool fetch_part(WorkerConnection& connection, const UrlParts& parts,
                              const DownloadPart& part, PartSink write, void* write_context,
                              DownloadPool& pool, bool& fatal, bool* too_slow = nullptr);

}  // namespace corvane
