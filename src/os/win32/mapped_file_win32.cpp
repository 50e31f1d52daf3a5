#include "os/mapped_file.h"

#include <windows.h>

#include <limits>
#include <utility>

#include "os/win32/win32_common.h"

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
  if (data_ != nullptr) ::UnmapViewOfFile(data_);
  data_ = nullptr;
  size_ = 0;
  file_.close();
}

ErrorCode MappedFile::map(bool writable) {
  if (size_ == 0) return kErrorSuccess;
  const auto size = static_cast<std::uint64_t>(size_);
  // The view keeps the mapping object alive; its handle is not needed beyond this call.
  const win32::KernelHandle mapping(::CreateFileMappingW(reinterpret_cast<HANDLE>(file_.native()), nullptr,
                                                         writable ? PAGE_READWRITE : PAGE_READONLY,
                                                         static_cast<DWORD>(size >> 32),
                                                         static_cast<DWORD>(size & 0xFFFFFFFFu), nullptr));
  void* view = mapping ? ::MapViewOfFile(mapping.get(), writable ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, size_)
                       : nullptr;
  if (view == nullptr) {
    const ErrorCode e = win32::last_error();
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
    const ErrorCode e = win32::last_error();
    file_.close();
    return e;
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
    // Reserved and sized before the view exists, so that a full disk fails here and not as an
    // exception on a later write to the view.
    if (const ErrorCode e = file_.reserve(size)) {
      file_.close();
      return e;
    }
  }
  size_ = static_cast<std::size_t>(size);
  return map(true);
}

}  // namespace corvane::os
