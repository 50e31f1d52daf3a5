#include "os/file.h"

#include <windows.h>

#include <algorithm>

#include "os/fs_fault.h"
#include "os/win32/win32_common.h"

namespace corvane::os {
namespace {

using win32::last_error;

HANDLE handle_of(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// One ReadFile/WriteFile moves at most this much; larger buffers go in several calls.
constexpr std::size_t kMaxChunk = 1u << 30;

struct OpenParameters {
  DWORD access;
  DWORD share;
  DWORD disposition;
  DWORD flags;
};

// Others may read a file while it is open here. A file that is only read may also be moved or
// deleted meanwhile (client files are hashed while other programs hold them); the unpacked output
// is nobody else's business until it is complete.
OpenParameters parameters_for(OpenMode mode) {
  switch (mode) {
    case OpenMode::ReadExisting:
      return {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING,
              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN};
    case OpenMode::ReadWriteAlways:
      return {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL};
    case OpenMode::WriteTruncate: return {GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL};
    case OpenMode::ReadWriteTruncate: return {GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL};
    // Append access without write access: every write lands at the end of the file, whatever
    // another writer has added in between.
    case OpenMode::AppendAlways:
      return {FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL};
    // CREATE_NEW fails with ERROR_FILE_EXISTS on any name that exists, a link included.
    case OpenMode::CreateNew: return {GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL};
  }
  return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL};
}

ErrorCode set_end_of_file(HANDLE h, std::uint64_t length) {
  FILE_END_OF_FILE_INFO info{};
  info.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return ::SetFileInformationByHandle(h, FileEndOfFileInfo, &info, sizeof info) ? kErrorSuccess : last_error();
}

}  // namespace

ErrorCode File::open(std::wstring_view path, OpenMode mode, OpenTarget target) {
  close();
  if (mode != OpenMode::ReadExisting) {
    if (const ErrorCode fault = injected_fs_fault(FsOp::OpenForWrite, path)) return fault;
  }
  const auto native = win32::native_path(path);
  if (!native) return win32::kErrorBadPathName;
  OpenParameters p = parameters_for(mode);
  const bool regular_only = target == OpenTarget::RegularFile;
  const bool truncating = p.disposition == CREATE_ALWAYS;
  if (regular_only) {
    // Look before opening: a link is not opened at all, a folder is refused as CreateFile refuses
    // it. The checks on the handle below cover what changed in between.
    const DWORD attributes = ::GetFileAttributesW(native->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return kErrorReparsePointEncountered;
      if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return kErrorAccessDenied;
    }
    // The reparse point itself is opened, never its target; a truncating mode truncates only once
    // the handle is known to be a plain file on a disk.
    p.flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    if (truncating) p.disposition = OPEN_ALWAYS;
  }
  const HANDLE h = ::CreateFileW(native->c_str(), p.access, p.share, nullptr, p.disposition, p.flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = ::GetLastError();
    return mode == OpenMode::CreateNew && e == ERROR_ALREADY_EXISTS ? kErrorFileExists : static_cast<ErrorCode>(e);
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  path_.assign(path);
  if (regular_only) {
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(h, &info) != 0;
    if (known && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      close();
      return kErrorReparsePointEncountered;
    }
    if (!known || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || ::GetFileType(h) != FILE_TYPE_DISK) {
      close();
      return kErrorAccessDenied;
    }
    if (truncating) {
      if (const ErrorCode e = set_end_of_file(h, 0)) {
        close();
        return e;
      }
    }
  }
  return kErrorSuccess;
}

void File::close() {
  if (handle_ != kInvalid) {
    ::CloseHandle(handle_of(handle_));
    handle_ = kInvalid;
  }
}

bool File::size(std::uint64_t& out) const {
  LARGE_INTEGER size{};
  if (handle_ == kInvalid || !::GetFileSizeEx(handle_of(handle_), &size)) return false;
  out = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

ErrorCode File::set_size(std::uint64_t length) {
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  return set_end_of_file(handle_of(handle_), length);
}

ErrorCode File::reserve(std::uint64_t length) {
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  std::uint64_t current = 0;
  if (!size(current)) return last_error();
  // Blocks below the current end already belong to the file (and a smaller allocation size would
  // cut it short).
  if (length <= current) return kErrorSuccess;
  FILE_ALLOCATION_INFO allocation{};
  allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(length);
  if (!::SetFileInformationByHandle(handle_of(handle_), FileAllocationInfo, &allocation, sizeof allocation)) {
    // Wine has no allocation call; there the new end of file below is all the reservation.
    if (::GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return last_error();
  }
  // Like posix_fallocate, the reservation also extends the file to `length`; on NTFS the new end
  // of file takes its clusters at once as well.
  return set_end_of_file(handle_of(handle_), length);
}

ErrorCode File::read(void* data, std::size_t size, std::size_t& read) {
  read = 0;
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  DWORD got = 0;
  if (!::ReadFile(handle_of(handle_), data, static_cast<DWORD>(std::min(size, kMaxChunk)), &got, nullptr)) {
    return last_error();
  }
  read = got;
  return kErrorSuccess;
}

ErrorCode File::read_at(std::uint64_t offset, void* data, std::size_t size, std::size_t& read) {
  read = 0;
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  // The position travels with the call, as in write_at.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!::ReadFile(handle_of(handle_), data, static_cast<DWORD>(std::min(size, kMaxChunk)), &got, &at)) {
    // An offset at or past the end reads nothing, as a read at the end does.
    if (::GetLastError() == ERROR_HANDLE_EOF) return kErrorSuccess;
    return last_error();
  }
  read = got;
  return kErrorSuccess;
}

ErrorCode File::write(const void* data, std::size_t size) {
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    DWORD written = 0;
    if (!::WriteFile(handle_of(handle_), bytes, static_cast<DWORD>(std::min(size, kMaxChunk)), &written, nullptr)) {
      return last_error();
    }
    if (written == 0) return kErrorDiskFull;
    bytes += written;
    size -= written;
  }
  return kErrorSuccess;
}

ErrorCode File::write_at(std::uint64_t offset, const void* data, std::size_t size) {
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    // The position travels with the call, so threads writing disjoint ranges of one handle never
    // race on the shared file pointer.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    if (!::WriteFile(handle_of(handle_), bytes, static_cast<DWORD>(std::min(size, kMaxChunk)), &written, &at)) {
      return last_error();
    }
    if (written == 0) return kErrorDiskFull;
    bytes += written;
    size -= written;
    offset += written;
  }
  return kErrorSuccess;
}

ErrorCode File::sync() {
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  if (const ErrorCode fault = injected_fs_fault(FsOp::Sync, path_)) return fault;
  return ::FlushFileBuffers(handle_of(handle_)) ? kErrorSuccess : last_error();
}

ErrorCode File::sync_data() { return sync(); }

}  // namespace corvane::os
