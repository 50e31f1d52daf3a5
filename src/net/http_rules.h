#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/download_part.h"
#include "os/http.h"

// How the transfer layer judges responses: the settings of its two kinds of session, the Range
// header of a part, which statuses a part accepts and which failures are fatal, and the receivers
// that count a body's bytes on their way to memory or to a staging file.
namespace corvane {

// Manifest fetch and range probe.
inline constexpr os::HttpTimeouts kShortTimeouts{10000, 10000, 15000, 15000};
inline constexpr std::size_t kShortReadBuffer = 65536;
// A download worker's session.
inline constexpr os::HttpTimeouts kWorkerTimeouts{15000, 15000, 30000, 30000};
inline constexpr std::size_t kWorkerReadBuffer = 262144;

// "Range: bytes=<offset>-<offset + length - 1>", the last byte computed in 64 bits. `length` > 0.
std::string range_header(std::uint32_t offset, std::uint32_t length);

// A ranged part accepts 206 only; a whole-file part accepts 200 or 206.
bool part_status_accepted(bool ranged, std::uint32_t status);
// The server refuses or lacks the file (403, 404) or rejected the range (416).
bool is_fatal_status(std::uint32_t status);

// Writes one piece of a part's body at `file_offset` of its file; false fails the attempt.
using PartSink = bool (*)(void* context, const DownloadPart& part, std::uint64_t file_offset,
                          const std::uint8_t* data, std::size_t size);

// Collects a whole 200 body of at most `max_bytes` into `body`, and the status into `status`.
class MemoryReceiver final : public os::HttpReceiver {
 public:
  MemoryReceiver(std::string& body, std::size_t max_bytes) : body_(body), max_bytes_(max_bytes) {}
  bool on_status(std::uint32_t status) override;
  bool on_body(const std::uint8_t* data, std::size_t size) override;
  // True only for a 200 whose body ended as framed and stayed within the cap; clears the body
  // otherwise.
  [[nodiscard]] bool finish(os::HttpOutcome outcome);
  std::uint32_t status() const { return status_; }

 private:
  std::string& body_;
  std::size_t max_bytes_;
  std::uint32_t status_ = 0;
  bool over_cap_ = false;
};

// Hands one part's body to its sink, piece by piece, at the right file offsets, and counts the bytes
// into the pool's byte counter. A piece that would reach beyond the part's range is never written:
// the attempt fails as a wrong byte count.
class PartReceiver final : public os::HttpReceiver {
 public:
  PartReceiver(const DownloadPart& part, PartSink sink, void* sink_context,
               std::atomic<std::uint64_t>& bytes_done)
      : part_(part), sink_(sink), sink_context_(sink_context), bytes_done_(bytes_done) {}
  bool on_status(std::uint32_t status) override;
  bool on_body(const std::uint8_t* data, std::size_t size) override;
  // The attempt's result; `fatal` is set when a retry is not expected to help (a refused or missing
  // file, a rejected range, or a wrong byte count).
  [[nodiscard]] bool finish(os::HttpOutcome outcome, bool& fatal) const;
  std::uint64_t received() const { return received_; }

 private:
  const DownloadPart& part_;
  PartSink sink_;
  void* sink_context_;
  std::atomic<std::uint64_t>& bytes_done_;
  std::uint32_t status_ = 0;
  std::uint64_t received_ = 0;
  bool status_refused_ = false;
  bool overrun_ = false;
};

}  // namespace corvane
