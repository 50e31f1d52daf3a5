#include "os/folder_security.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/fs_fault.h"
#include "os/posix/path_posix.h"

namespace corvane::os {

ErrorCode create_private_directory(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::CreateDirectory, path)) return fault;
  // Created with its final mode: there is no moment at which others could open it.
  return ::mkdir(posix::native_path(path).c_str(), 0700) == 0 ? kErrorSuccess : error_from_errno(errno);
}

ErrorCode make_directory_private(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::SetAttributes, path)) return fault;
  // The folder itself, never what a link at its name leads to.
  const int fd = ::open(posix::native_path(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno == ELOOP ? kErrorReparsePointEncountered : error_from_errno(errno);
  struct stat st {};
  ErrorCode result = kErrorSuccess;
  if (::fstat(fd, &st) != 0) {
    result = error_from_errno(errno);
  } else if (st.st_uid != ::geteuid()) {
    result = kErrorAccessDenied;
  } else if ((st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) {
    result = error_from_errno(errno);
  }
  ::close(fd);
  return result;
}

}  // namespace corvane::os
