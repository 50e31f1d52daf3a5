#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "os/error.h"

// How long taking a lock may wait for another process, and who that process is when the wait
// gives up. Shared by the update lock and the folder lock.
namespace corvane::os {

// What error() of a lock says when someone else holds it and the wait (if any) is over
// (ERROR_LOCK_VIOLATION).
inline constexpr ErrorCode kErrorLockHeld = 33;
// What error() of a lock says when the wait ended because its `cancel` flag was set
// (ERROR_CANCELLED).
inline constexpr ErrorCode kErrorCancelled = 1223;

struct LockWaitBound {
  std::chrono::milliseconds limit{0};          // 0: try once
  const std::atomic<bool>* cancel = nullptr;  // set: stop waiting at once; may be null
};

// The process that holds a lock, as far as the platform can tell: Linux reads it from /proc/locks
// and /proc/PID/comm; Windows cannot name the holder of a mutex or of a file opened without
// sharing, so there both stay empty.
struct LockHolder {
  std::uint32_t pid = 0;  // 0: not known
  std::wstring program;   // its program's name; empty when not known
};

}  // namespace corvane::os
