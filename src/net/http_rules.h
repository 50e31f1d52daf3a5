#pragma once
#include <atomic>
#include <chrono>
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

using SteadyTime = std::chrono::steady_clock::time_point;

// The least a part must receive in each window of time, counted from the request's start, window
// after window; a part that falls below it is given up. A floor of 0 bytes never trips.
class ThroughputFloor {
 public:
  ThroughputFloor(std::uint64_t floor_bytes, std::chrono::milliseconds window, SteadyTime start)
      : floor_bytes_(floor_bytes), window_(window), window_start_(start) {}
  // False once a whole window has passed with fewer than the floor's bytes received in it;
  // `received` is the part's byte count so far, `now` no earlier than the last call's.
  [[nodiscard]] bool holds(SteadyTime now, std::uint64_t received);

 private:
  std::uint64_t floor_bytes_;
  std::chrono::milliseconds window_;
  SteadyTime window_start_;
  std::uint64_t window_bytes_ = 0;  // `received` when the current window began
};

// Writes one piece of a part's body at `file_offset` of its file; false fails the attempt.
using PartSink = bool (*)(void* context, const DownloadPart& part, std::uint64_t file_offset,
                          const std::uint8_t* data, std::size_t size);

// Collects a whole 200 body of at most `max_bytes` into `body`, and the status into `status`.
class MemoryReceiver final : public os::HttpReceiver {
 public:
  // The request is stopped once `deadline` has passed, whatever has arrived by then.
  MemoryReceiver(std::string& body, std::size_t max_bytes, SteadyTime deadline = SteadyTime::max())
      : body_(body), max_bytes_(max_bytes), deadline_(deadline) {}
  bool on_status(std::uint32_t status) override;
  bool on_body(const std::uint8_t* data, std::size_t size) override;
  bool keep_going() override;
  // True only for a 200 whose body ended as framed and stayed within the cap; clears the body
  // otherwise.
  [[nodiscard]] bool finish(os::HttpOutcome outcome);
  std::uint32_t status() const { return status_; }

 private:
  std::string& body_;
  std::size_t max_bytes_;
  SteadyTime deadline_;
  std::uint32_t status_ = 0;
  bool over_cap_ = false;
};

// Hands one part's body to its sink, piece by piece, at the right file offsets, and counts the bytes
// into the pool's byte counter. A piece that would reach beyond the part's range is never written:
// the attempt fails as a wrong byte count. The attempt is stopped when it falls below `floor`, or
// once `*cancel` (may be null) is set.
class PartReceiver final : public os::HttpReceiver {
 public:
  PartReceiver(const DownloadPart& part, PartSink sink, void* sink_context,
               std::atomic<std::uint64_t>& bytes_done,
               ThroughputFloor floor = ThroughputFloor(0, {}, {}), const std::atomic<bool>* cancel = nullptr)
      : part_(part), sink_(sink), sink_context_(sink_context), bytes_done_(bytes_done), floor_(floor),
        cancel_(cancel) {}
  bool on_status(std::uint32_t status) override;
  bool on_body(const std::uint8_t* data, std::size_t size) override;
  bool keep_going() override;
  // The attempt was stopped for falling below the floor.
  bool too_slow() const { return too_slow_; }
  // The attempt's result; `fatal` is set when a retry is not expected to help (a refused or missing
  // file, a rejected range, or a wrong byte count).
  [[nodiscard]] bool finish(os::HttpOutcome outcome, bool& fatal) const;
  std::uint64_t received() const { return received_; }

 private:
  const DownloadPart& part_;
  PartSink sink_;
  void* sink_context_;
  std::atomic<std::uint64_t>& bytes_done_;
  ThroughputFloor floor_;
  const std::atomic<bool>* cancel_;
  std::uint32_t status_ = 0;
  std::uint64_t received_ = 0;
  bool status_refused_ = false;
  bool overrun_ = false;
  bool too_slow_ = false;
};

}  // namespace corvane
