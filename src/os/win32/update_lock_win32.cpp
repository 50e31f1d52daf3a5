#include "os/update_lock.h"

#include <windows.h>

#include <utility>

#include "os/win32/win32_common.h"

namespace corvane::os {
namespace {

HANDLE mutex_of(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The caller must not go on without the lock, so a failure always carries a code.
ErrorCode last_error_or_failure() {
  const DWORD e = ::GetLastError();
  return e != 0 ? static_cast<ErrorCode>(e) : kErrorGenFailure;
}

}  // namespace

std::wstring UpdateLock::lock_file_path(std::wstring_view name) { return std::wstring(name); }

UpdateLock::UpdateLock(std::wstring_view name, LockWait wait) {
  const auto native = win32::checked_text(name);
  if (!native) {
    error_ = win32::kErrorBadPathName;
    return;
  }
  // Not initially owned: an existing mutex of that name is opened, and the wait decides. The
  // "Local\" namespace belongs to the user's own session, so nobody else can hold the name.
  win32::KernelHandle mutex(::CreateMutexW(nullptr, FALSE, native->c_str()));
  if (!mutex) {
    error_ = last_error_or_failure();
    return;
  }
  // WAIT_ABANDONED: the last holder ended without releasing it; the lock is ours all the same.
  const DWORD waited = ::WaitForSingleObject(mutex.get(), wait == LockWait::No ? 0 : INFINITE);
  if (waited == WAIT_TIMEOUT) {
    error_ = kErrorLockHeld;
    return;
  }
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    error_ = last_error_or_failure();
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(mutex.release());
}

UpdateLock::~UpdateLock() { release(); }

UpdateLock::UpdateLock(UpdateLock&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone)), error_(std::exchange(other.error_, kErrorSuccess)) {}

UpdateLock& UpdateLock::operator=(UpdateLock&& other) noexcept {
  if (this != &other) {
    release();
    handle_ = std::exchange(other.handle_, kNone);
    error_ = std::exchange(other.error_, kErrorSuccess);
  }
  return *this;
}

void UpdateLock::release() {
  if (handle_ != kNone) {
    ::ReleaseMutex(mutex_of(handle_));
    ::CloseHandle(mutex_of(handle_));
    handle_ = kNone;
  }
}

}  // namespace corvane::os
