#include "os/folder_lock.h"

#include <utility>

#include "os/platform.h"

// Ownership of the held lock, the same on every platform; taking and letting go of it are the
// platform's (os/posix and os/win32).
namespace corvane::os {

FolderLock::FolderLock(std::wstring_view folder, std::wstring_view name) : folder_(folder) {
  file_ = folder_ + kSep + std::wstring(name);
  take(nullptr);
}

FolderLock::FolderLock(std::wstring_view folder, std::wstring_view name, const LockWaitBound& wait)
    : folder_(folder) {
  file_ = folder_ + kSep + std::wstring(name);
  take(&wait);
}

FolderLock::~FolderLock() { release(); }

FolderLock::FolderLock(FolderLock&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone)),
      folder_handle_(std::exchange(other.folder_handle_, kNone)),
      folder_(std::move(other.folder_)),
      file_(std::move(other.file_)),
      error_(other.error_),
      holder_(std::move(other.holder_)) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    release();
    handle_ = std::exchange(other.handle_, kNone);
    folder_handle_ = std::exchange(other.folder_handle_, kNone);
    folder_ = std::move(other.folder_);
    file_ = std::move(other.file_);
    error_ = other.error_;
    holder_ = std::move(other.holder_);
  }
  return *this;
}

}  // namespace corvane::os
