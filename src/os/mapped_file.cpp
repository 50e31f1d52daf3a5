#include "os/mapped_file.h"

#include <limits>
#include <utility>

// What opening and creating a mapped file means on every platform; the mapping itself and its
// release are the platform's (map and close, in os/posix and os/win32).
namespace corvane::os {

MappedFile::~MappedFile() { close(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : file_(std::move(other.file_)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    close();
    file_ = std::move(other.file_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

ErrorCode MappedFile::open_read(std::wstring_view path) {
  close();
  if (const ErrorCode e = file_.open(path, OpenMode::ReadExisting, OpenTarget::RegularFile)) return e;
  std::uint64_t length = 0;
  if (!file_.size(length)) {
    file_.close();
    return kErrorGenFailure;
  }
  if (length > std::numeric_limits<std::size_t>::max()) {
    file_.close();
    return kErrorNotEnoughMemory;
  }
  size_ = static_cast<std::size_t>(length);
  return map(false);
}

ErrorCode MappedFile::create(std::wstring_view path, std::uint64_t size) {
  close();
  if (size > std::numeric_limits<std::size_t>::max()) return kErrorNotEnoughMemory;
  if (const ErrorCode e = file_.open(path, OpenMode::ReadWriteTruncate, OpenTarget::RegularFile)) return e;
  if (size > 0) {
    // Reserved and sized before the view exists, so that a full disk fails here and not on a
    // later write to the view (a signal on Linux, an exception on Windows).
    if (const ErrorCode e = file_.reserve(size)) {
      file_.close();
      return e;
    }
  }
  size_ = static_cast<std::size_t>(size);
  return map(true);
}

}  // namespace corvane::os
