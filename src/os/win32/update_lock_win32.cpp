#include "os/update_lock.h"

#include <windows.h>

#include <chrono>
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
  const LockWaitBound once{};
  take(name, wait == LockWait::No ? &once : nullptr);
}

UpdateLock::UpdateLock(std::wstring_view name, const LockWaitBound& wait) { take(name, &wait); }

// A mutex cannot say which process holds it: holder_ stays empty.
void UpdateLock::take(std::wstring_view name, const LockWaitBound* wait) {
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
  // A bounded wait goes in slices, so that a cancel is seen within one.
  constexpr DWORD kSliceMs = 50;
  const auto deadline = std::chrono::steady_clock::now() + (wait != nullptr ? wait->limit : std::chrono::milliseconds(0));
  DWORD waited = WAIT_TIMEOUT;
  for (;;) {
    if (wait != nullptr && wait->cancel != nullptr && wait->cancel->load()) {
      error_ = kErrorCancelled;
      return;
    }
    const bool last = wait != nullptr && std::chrono::steady_clock::now() >= deadline;
    waited = ::WaitForSingleObject(mutex.get(), wait == nullptr ? INFINITE : last ? 0 : kSliceMs);
    if (waited != WAIT_TIMEOUT || last) break;
  }
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
    : handle_(std::exchange(other.handle_, kNone)),
      error_(std::exchange(other.error_, kErrorSuccess)),
      holder_(std::move(other.holder_)) {}

UpdateLock& UpdateLock::operator=(UpdateLock&& other) noexcept {
  if (this != &other) {
    release();
    handle_ = std::exchange(other.handle_, kNone);
    error_ = std::exchange(other.error_, kErrorSuccess);
    holder_ = std::move(other.holder_);
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
