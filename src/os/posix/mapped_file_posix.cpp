#include "os/mapped_file.h"

#include <sys/mman.h>

#include <cerrno>

namespace corvane::os {

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

}  // namespace corvane::os
