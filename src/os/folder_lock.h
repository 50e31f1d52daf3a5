#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "os/error.h"
#include "os/lock_wait.h"

// A lock that belongs to a folder, not to a user or a session: a lock file inside the folder that
// one process at a time holds exclusively. Every account that works on the folder meets it,
// whatever user or session its process runs in. The system lets go of it when the holder dies.
// - Linux: flock(2) on the file, opened for reading only (a file another account made is used,
//   never written, truncated or re-permissioned).
// - Windows: the file opened without any sharing; a process that meets it open tries again every
//   50 ms.
// Neither the folder nor the file is ever reached through a link, and only a plain file is used.
//
// The holder removes the lock file (and the folder, when nothing else is left in it) before it
// lets go, so a folder that is only needed while a run goes leaves nothing behind. A process that
// was waiting for the removed file notices that it is gone once it holds it, and takes the lock
// again on the file that is then at the name.
namespace corvane::os {

class FolderLock {
 public:
  // Makes `folder` when it is missing and waits without a time limit until this process holds the
  // lock file `folder` + separator + `name`. When the lock cannot be had (a link in the place of
  // the folder or the file, something that is not a plain file, a folder this user may not write
  // in) owned() is false and error() says why.
  FolderLock(std::wstring_view folder, std::wstring_view name);
  // The same, waiting at most `wait.limit` for another holder (and not once `*wait.cancel` is
  // set): then owned() is false, error() kErrorLockHeld (kErrorCancelled when cancelled) and
  // holder() tells what is known of the process that holds it.
  FolderLock(std::wstring_view folder, std::wstring_view name, const LockWaitBound& wait);
  ~FolderLock();
  FolderLock(FolderLock&& other) noexcept;
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool owned() const { return handle_ != kNone; }
  ErrorCode error() const { return error_; }
  const std::wstring& lock_file() const { return file_; }
  const LockHolder& holder() const { return holder_; }
  // Removes the lock file, then the folder when it is empty, and lets the next process in.
  void release();

 private:
  static constexpr std::intptr_t kNone = -1;
  void take(const LockWaitBound* wait);  // null: without a time limit

  std::intptr_t handle_ = kNone;  // the lock file: a descriptor on Linux, a HANDLE on Windows
  std::intptr_t folder_handle_ = kNone;  // Linux: the folder's descriptor the file was opened in
  std::wstring folder_;
  std::wstring file_;
  ErrorCode error_ = kErrorSuccess;
  LockHolder holder_;
};

}  // namespace corvane::os
