#include "os/mapped_file.h"

#include <windows.h>

#include "os/win32/win32_common.h"

namespace corvane::os {

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

}  // namespace corvane::os
