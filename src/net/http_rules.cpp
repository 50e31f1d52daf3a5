#include "net/http_rules.h"

namespace corvane {

std::string range_header(std::uint32_t offset, std::uint32_t length) {
  const std::uint64_t last = std::uint64_t{offset} + length - 1;
  return "Range: bytes=" + std::to_string(offset) + "-" + std::to_string(last);
}

bool part_status_accepted(bool ranged, std::uint32_t status) {
  return status == 206 || (!ranged && status == 200);
}

bool is_fatal_status(std::uint32_t status) { return status == 404 || status == 403 || status == 416; }

bool ThroughputFloor::holds(SteadyTime now, std::uint64_t received) {
  if (floor_bytes_ == 0) return true;
  if (now - window_start_ < window_) return true;
  if (received - window_bytes_ < floor_bytes_) return false;
  window_start_ = now;
  window_bytes_ = received;
  return true;
}

bool MemoryReceiver::keep_going() { return std::chrono::steady_clock::now() < deadline_; }

bool MemoryReceiver::on_status(std::uint32_t status) {
  status_ = status;
  return status == 200;
}

bool MemoryReceiver::on_body(const std::uint8_t* data, std::size_t size) {
  if (size > max_bytes_ - body_.size()) {
    over_cap_ = true;
    return false;
  }
  body_.append(reinterpret_cast<const char*>(data), size);
  return keep_going();
}

bool MemoryReceiver::finish(os::HttpOutcome outcome) {
  const bool ok = outcome == os::HttpOutcome::kBodyEnded && status_ == 200 && !over_cap_;
  if (!ok) body_.clear();
  return ok;
}

bool PartReceiver::on_status(std::uint32_t status) {
  status_ = status;
  status_refused_ = !part_status_accepted(part_.length != 0, status);
  return !status_refused_;
}

bool PartReceiver::on_body(const std::uint8_t* data, std::size_t size) {
  if (size > expected_bytes(part_) - received_) {
    overrun_ = true;
    return false;
  }
  if (!sink_(sink_context_, part_, part_.offset + received_, data, size)) return false;
  received_ += size;
  bytes_done_.fetch_add(size, std::memory_order_relaxed);
  return true;
}

bool PartReceiver::keep_going() {
  if (cancel_ != nullptr && cancel_->load()) return false;
  if (floor_.holds(std::chrono::steady_clock::now(), received_)) return true;
  too_slow_ = true;
  return false;
}

bool PartReceiver::finish(os::HttpOutcome outcome, bool& fatal) const {
  fatal = false;
  switch (outcome) {
    case os::HttpOutcome::kNoResponse:
    case os::HttpOutcome::kBodyFailed:
      return false;
    case os::HttpOutcome::kStopped:
      fatal = overrun_ || (status_refused_ && is_fatal_status(status_));
      return false;
    case os::HttpOutcome::kBodyCutShort:
    case os::HttpOutcome::kBodyEnded:
      if (received_ == expected_bytes(part_)) return true;
      fatal = true;
      return false;
  }
  return false;
}

}  // namespace corvane
