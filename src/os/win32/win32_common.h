#pragma once
// Shared by the Windows files of the platform layer: the one conversion of a path for the W calls,
// the last error as the core's code, and owners of kernel handles and COM references.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "os/error.h"

namespace corvane::os::win32 {

// A NUL-terminated copy of `path` for a W call. Empty (nothing) when the path holds a NUL, which
// would leave only the part before it for the system to act on.
inline std::optional<std::wstring> native_path(std::wstring_view path) {
  if (path.find(L'\0') != std::wstring_view::npos) return std::nullopt;
  return std::wstring(path);
}

// What a call with a path that holds a NUL fails with, as the system would for a bad name.
inline constexpr ErrorCode kErrorBadPathName = ERROR_INVALID_NAME;

inline ErrorCode last_error() {
  const DWORD e = ::GetLastError();
  // A failed call always sets an error; 0 here would turn a failure into success.
  return e == ERROR_SUCCESS ? kErrorGenFailure : static_cast<ErrorCode>(e);
}

// A kernel handle (file, process, thread, mutex) closed when the owner goes. INVALID_HANDLE_VALUE
// and null both mean "none", because the system's calls return one or the other on failure.
class KernelHandle {
 public:
  KernelHandle() = default;
  explicit KernelHandle(HANDLE handle) : handle_(valid(handle) ? handle : nullptr) {}
  ~KernelHandle() { reset(); }
  KernelHandle(KernelHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  KernelHandle& operator=(KernelHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;

  explicit operator bool() const { return handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, nullptr); }
  void reset(HANDLE handle = nullptr) {
    if (handle_ != nullptr) ::CloseHandle(handle_);
    handle_ = valid(handle) ? handle : nullptr;
  }

 private:
  static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  HANDLE handle_ = nullptr;
};

// A COM interface reference, released when the owner goes.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { reset(); }
  ComRef(ComRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) {
      reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // For the out-parameter of CoCreateInstance and QueryInterface; releases what is held.
  void** put() {
    reset();
    return reinterpret_cast<void**>(&ptr_);
  }
  void reset() {
    if (ptr_ != nullptr) std::exchange(ptr_, nullptr)->Release();
  }

 private:
  T* ptr_ = nullptr;
};

}  // namespace corvane::os::win32
