#include "os/folder_lock.h"

#include <windows.h>

#include <chrono>
#include <utility>

#include "os/win32/win32_common.h"

namespace corvane::os {
namespace {

constexpr DWORD kRetryMs = 50;
// A name that is briefly refused (a file still being deleted, a folder removed under this process)
// is tried this often before the refusal counts.
constexpr int kTransientTries = 200;

HANDLE handle_of(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

// A file opened without sharing cannot say who holds it: holder_ stays empty.
void FolderLock::take(const LockWaitBound* wait) {
  const auto deadline = std::chrono::steady_clock::now() + (wait != nullptr ? wait->limit : std::chrono::milliseconds(0));
  const auto folder_path = win32::native_path(folder_);
  const auto file_path = win32::native_path(file_);
  if (!folder_path || !file_path) {
    error_ = win32::kErrorBadPathName;
    return;
  }
  int transient = 0;
  for (;;) {
    (void)::CreateDirectoryW(folder_path->c_str(), nullptr);
    const DWORD attributes = ::GetFileAttributesW(folder_path->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        error_ = kErrorReparsePointEncountered;
        return;
      }
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error_ = kErrorAccessDenied;
        return;
      }
    }
    // No sharing at all: while this handle is open nobody else opens the file. DELETE access lets
    // the holder remove it through the handle when it lets go.
    const HANDLE h = ::CreateFileW(file_path->c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD e = ::GetLastError();
      if (e == ERROR_SHARING_VIOLATION) {
        // Another process holds it: wait, without a time limit unless bounded.
        if (wait != nullptr && wait->cancel != nullptr && wait->cancel->load()) {
          error_ = kErrorCancelled;
          return;
        }
        if (wait != nullptr && std::chrono::steady_clock::now() >= deadline) {
          error_ = kErrorLockHeld;
          return;
        }
        ::Sleep(kRetryMs);
        continue;
      }
      const bool vanished = e == ERROR_PATH_NOT_FOUND || e == ERROR_FILE_NOT_FOUND;
      // A file that its last holder is still deleting refuses every open for a moment; a folder in
      // its place refuses for good.
      const DWORD there = ::GetFileAttributesW(file_path->c_str());
      const bool still_deleting =
          e == ERROR_DELETE_PENDING ||
          (e == ERROR_ACCESS_DENIED && (there == INVALID_FILE_ATTRIBUTES || (there & FILE_ATTRIBUTE_DIRECTORY) == 0));
      if ((vanished || still_deleting) && ++transient < kTransientTries) {
        if (still_deleting) ::Sleep(kRetryMs);
        continue;
      }
      error_ = static_cast<ErrorCode>(e != 0 ? e : ERROR_GEN_FAILURE);
      return;
    }
    win32::KernelHandle held(h);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info)) {
      error_ = win32::last_error();
      return;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      error_ = kErrorReparsePointEncountered;
      return;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || ::GetFileType(h) != FILE_TYPE_DISK) {
      error_ = kErrorAccessDenied;
      return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(held.release());
    return;
  }
}

void FolderLock::release() {
  if (handle_ == kNone) return;
  // The file goes when this, its only handle, is closed; the folder goes after it when empty. A
  // process that creates the name again in between keeps the folder (it is not empty).
  FILE_DISPOSITION_INFO dispose{};
  dispose.DeleteFile = TRUE;
  (void)::SetFileInformationByHandle(handle_of(handle_), FileDispositionInfo, &dispose, sizeof dispose);
  ::CloseHandle(handle_of(handle_));
  handle_ = kNone;
  if (const auto folder = win32::native_path(folder_)) (void)::RemoveDirectoryW(folder->c_str());
}

}  // namespace corvane::os
