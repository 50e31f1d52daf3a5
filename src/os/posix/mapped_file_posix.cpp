#include "os/mapped_file.h"

#include <sys/mman.h>

#include <cerrno>
#include <limits>
#include <utility>

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

void MappedFile::close() {
  if (data_ != nullptr) ::munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
  file_.close();
}

ErrorCode MappedFile::map(bool writable) {
  if (size_ == 0) return kErrorSuccess;
  const int prot = writable ? PROT_READ | PROT_WRITE : PROT_READ;
  void* view = ::mmap(nullptr, size_, prot, MAP_SHARED, static_cast<int>(file_.native()), 0);
  if (view == MAP_FAILED) {
    const ErrorCode e = error_from_errno(errno);
    size_ = 0;
    file_.close();
    return e;
  }
  data_ = static_cast<std::uint8_t*>(view);
  return kErrorSuccess;
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
    // posix_fallocate both reserves the blocks and sets the length.
    if (const ErrorCode e = file_.reserve(size)) {
      file_.close();
      return e;
    }
  }
  size_ = static_cast<std::size_t>(size);
  return map(true);
}

}  // namespace corvane::os
