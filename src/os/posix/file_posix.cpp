#include "os/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/fs_fault.h"
#include "os/posix/path_posix.h"

namespace corvane::os {
namespace {

ErrorCode last_error() { return error_from_errno(errno); }

int fd_of(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

ErrorCode File::open(std::wstring_view path, OpenMode mode, OpenTarget target) {
  close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::ReadExisting: flags |= O_RDONLY; break;
    case OpenMode::ReadWriteAlways: flags |= O_RDWR | O_CREAT; break;
    case OpenMode::WriteTruncate: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case OpenMode::ReadWriteTruncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case OpenMode::AppendAlways: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
    // O_EXCL fails on an existing name without following a link there.
    case OpenMode::CreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
  }
  if (mode != OpenMode::ReadExisting) {
    if (const ErrorCode fault = injected_fs_fault(FsOp::OpenForWrite, path)) return fault;
  }
  const bool runnable = mode == OpenMode::ReadWriteAlways || mode == OpenMode::ReadWriteTruncate;
  const mode_t creation_mode = runnable ? 0777 : 0666;
  const std::string p = posix::native_path(path);
  const bool regular_only = target == OpenTarget::RegularFile;
  if (regular_only) {
    // Look before opening, so that a device or pipe is not even opened (opening some devices does
    // something); the check after opening covers what changed in between. O_NONBLOCK keeps the
    // open of a pipe from waiting for a writer.
    struct stat st {};
    if (::lstat(p.c_str(), &st) == 0) {
      if (S_ISLNK(st.st_mode)) return kErrorReparsePointEncountered;
      if (!S_ISREG(st.st_mode)) return kErrorAccessDenied;
    }
    flags |= O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  }
  int fd;
  do {
    fd = ::open(p.c_str(), flags, creation_mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (regular_only && errno == ELOOP) return kErrorReparsePointEncountered;
    if (mode == OpenMode::CreateNew && errno == EEXIST) return kErrorFileExists;
    return last_error();
  }
  struct stat st {};
  const bool known = ::fstat(fd, &st) == 0;
  if ((known && S_ISDIR(st.st_mode)) || (regular_only && !(known && S_ISREG(st.st_mode)))) {
    ::close(fd);
    return kErrorAccessDenied;  // as CreateFile on a folder
  }
  if (regular_only) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (mode == OpenMode::ReadExisting) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  handle_ = fd;
  path_.assign(path);
  return kErrorSuccess;
}

void File::close() {
  if (handle_ != kInvalid) {
    ::close(fd_of(handle_));
    handle_ = kInvalid;
  }
}

bool File::size(std::uint64_t& out) const {
  struct stat st {};
  if (handle_ == kInvalid || ::fstat(fd_of(handle_), &st) != 0) return false;
  out = static_cast<std::uint64_t>(st.st_size);
  return true;
}

ErrorCode File::set_size(std::uint64_t length) {
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  return ::ftruncate(fd_of(handle_), static_cast<off_t>(length)) == 0 ? kErrorSuccess : last_error();
}

ErrorCode File::reserve(std::uint64_t length) {
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  if (length == 0) return kErrorSuccess;
  const int e = ::posix_fallocate(fd_of(handle_), 0, static_cast<off_t>(length));
  return e == 0 ? kErrorSuccess : error_from_errno(e);
}

ErrorCode File::read(void* data, std::size_t size, std::size_t& read) {
  read = 0;
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  for (;;) {
    const ssize_t n = ::read(fd_of(handle_), data, size);
    if (n >= 0) {
      read = static_cast<std::size_t>(n);
      return kErrorSuccess;
    }
    if (errno != EINTR) return last_error();
  }
}

ErrorCode File::read_at(std::uint64_t offset, void* data, std::size_t size, std::size_t& read) {
  read = 0;
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  for (;;) {
    const ssize_t n = ::pread(fd_of(handle_), data, size, static_cast<off_t>(offset));
    if (n >= 0) {
      read = static_cast<std::size_t>(n);
      return kErrorSuccess;
    }
    if (errno != EINTR) return last_error();
  }
}

ErrorCode File::write(const void* data, std::size_t size) {
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_of(handle_), bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return last_error();
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return kErrorSuccess;
}

ErrorCode File::write_at(std::uint64_t offset, const void* data, std::size_t size) {
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd_of(handle_), bytes, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return last_error();
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return kErrorSuccess;
}

ErrorCode File::sync() {
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  if (const ErrorCode fault = injected_fs_fault(FsOp::Sync, path_)) return fault;
  return ::fsync(fd_of(handle_)) == 0 ? kErrorSuccess : last_error();
}

ErrorCode File::sync_data() {
  if (handle_ == kInvalid) return kErrorInvalidHandle;
  if (const ErrorCode fault = injected_fs_fault(FsOp::Sync, path_)) return fault;
  return ::fdatasync(fd_of(handle_)) == 0 ? kErrorSuccess : last_error();
}

}  // namespace corvane::os
