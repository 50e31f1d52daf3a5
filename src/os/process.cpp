#include "os/process.h"

#include <utility>

// Ownership of the process handle (a pidfd on Linux, a HANDLE on Windows); opening, waiting and
// closing are the platform's (os/posix and os/win32).
namespace corvane::os {

ProcessHandle::~ProcessHandle() { close(); }

ProcessHandle::ProcessHandle(ProcessHandle&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

ProcessHandle& ProcessHandle::operator=(ProcessHandle&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

}  // namespace corvane::os
