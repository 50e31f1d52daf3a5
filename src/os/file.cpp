#include "os/file.h"

#include <utility>

// Ownership of the handle, the same on every platform; opening, reading, writing and closing are
// the platform's (os/posix and os/win32).
namespace corvane::os {

File::~File() { close(); }

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kInvalid)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, kInvalid);
    path_ = std::move(other.path_);
  }
  return *this;
}

}  // namespace corvane::os
