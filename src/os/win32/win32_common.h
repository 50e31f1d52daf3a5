#pragma once
// Shared by the Windows files of the platform layer: the one conversion of a file path for the W
// calls (and a plain copy for other texts),
// the last error as the core's code, and owners of kernel handles and COM references.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "os/error.h"
#include "os/fs.h"

namespace corvane::os::win32 {

// A 64-bit size from the two halves the system reports it in.
inline std::uint64_t size_of(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

// What file attributes and a size say about an object. Every reparse point counts as a link: a
// junction, a symbolic link, a mount point; its own directory attribute tells whether it stands
// for a folder.
inline FileInfo file_info_from(DWORD attributes, std::uint64_t size) {
  FileInfo info;
  info.is_link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  info.is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info.is_regular =
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
  info.read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  info.size = info.is_directory ? 0 : size;
  return info;
}

// A NUL-terminated copy of `text` (a registry or object name, a command line's part, a shell
// link's field) for a W call, unchanged. Empty (nothing) when the text holds a NUL, which would
// leave only the part before it for the system to act on.
inline std::optional<std::wstring> checked_text(std::wstring_view text) {
  if (text.find(L'\0') != std::wstring_view::npos) return std::nullopt;
  return std::wstring(text);
}

// The one conversion of a file path for the W calls of the files, folders and mappings: the path
// made whole by GetFullPathNameW (the normalisation every Win32 call applies: '/' becomes '\',
// "." and ".." and doubled separators go, trailing dots and spaces of the last name go, a relative
// path is taken from the current folder), then given the form "\\?\C:\..." ("\\?\UNC\server\share\..."
// for a share) that the system takes as it stands and without the MAX_PATH limit of 260
// characters. A path already in the system's own form ("\\?\", "\\.\") stays as it is, and so
// does one that names a device. Empty (nothing) when the path holds a NUL.
inline std::optional<std::wstring> native_path(std::wstring_view path) {
  auto text = checked_text(path);
  if (!text || text->empty()) return text;
  const auto starts = [](std::wstring_view p, std::wstring_view prefix) { return p.substr(0, prefix.size()) == prefix; };
  if (starts(*text, L"\\\\?\\") || starts(*text, L"\\\\.\\") || starts(*text, L"\\??\\")) return text;
  const DWORD needed = ::GetFullPathNameW(text->c_str(), 0, nullptr, nullptr);
  if (needed == 0) return text;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(text->c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return text;
  full.resize(length);
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
  if (starts(full, L"\\\\") && !starts(full, L"\\\\.\\") && !starts(full, L"\\\\?\\")) {
    return L"\\\\?\\UNC\\" + full.substr(2);
  }
  return full;
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
