#include "os/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "os/posix/lock_wait_posix.h"
#include "os/posix/path_posix.h"

namespace corvane::os {
namespace {

// Tries after the folder or the file vanished under this process (another holder removed them as
// it let go) before giving up: each try takes the lock afresh, so only a race costs one.
constexpr int kVanishedTries = 1000;

ErrorCode open_error(int e) { return e == ELOOP ? kErrorReparsePointEncountered : error_from_errno(e); }

bool same_object(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

void FolderLock::take(const LockWaitBound* wait) {
  const std::string dir_path = posix::native_path(folder_);
  const std::string file_name = posix::native_path(file_.substr(folder_.size() + 1));
  for (int attempt = 0; attempt < kVanishedTries; ++attempt) {
    (void)::mkdir(dir_path.c_str(), 0777);
    const int dir = ::open(dir_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
      const int e = errno;
      struct stat st {};
      if (e == ENOENT) continue;
      // A link in the folder's place: O_NOFOLLOW answers ELOOP, or ENOTDIR for a link to a file.
      error_ = (::lstat(dir_path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ? kErrorReparsePointEncountered
                                                                              : open_error(e);
      return;
    }
    int fd;
    do {
      fd = ::openat(dir, file_name.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      const int e = errno;
      ::close(dir);
      if (e == ENOENT) continue;  // the folder went after it was opened
      error_ = open_error(e);
      return;
    }
    struct stat own {};
    if (::fstat(fd, &own) != 0 || !S_ISREG(own.st_mode)) {
      ::close(fd);
      ::close(dir);
      error_ = kErrorAccessDenied;
      return;
    }
    if (const int e = posix::lock_exclusive(fd, wait); e != 0) {
      error_ = e == EWOULDBLOCK ? kErrorLockHeld : e == ECANCELED ? kErrorCancelled : error_from_errno(e);
      if (e == EWOULDBLOCK) holder_ = posix::flock_holder(fd);
      ::close(fd);
      ::close(dir);
      return;
    }
    // Held. The holder before may have removed the file, or the whole folder, while this process
    // waited: then the lock is on a file that nobody else finds, and it is taken again.
    struct stat at_name {};
    struct stat folder_now {};
    struct stat folder_held {};
    const bool current = ::fstatat(dir, file_name.c_str(), &at_name, AT_SYMLINK_NOFOLLOW) == 0 &&
                         same_object(at_name, own) && ::lstat(dir_path.c_str(), &folder_now) == 0 &&
                         ::fstat(dir, &folder_held) == 0 && same_object(folder_now, folder_held);
    if (!current) {
      ::close(fd);
      ::close(dir);
      continue;
    }
    handle_ = fd;
    folder_handle_ = dir;
    return;
  }
  error_ = kErrorPathNotFound;
}

void FolderLock::release() {
  if (handle_ == kNone) return;
  const int fd = static_cast<int>(handle_);
  const int dir = static_cast<int>(folder_handle_);
  // Still held while the file and the folder go: whoever opens the name from now on gets a new
  // file, and whoever waits on this one finds it gone.
  const std::string name = posix::native_path(file_.substr(folder_.size() + 1));
  (void)::unlinkat(dir, name.c_str(), 0);
  (void)::rmdir(posix::native_path(folder_).c_str());
  ::flock(fd, LOCK_UN);
  ::close(fd);
  ::close(dir);
  handle_ = kNone;
  folder_handle_ = kNone;
}

}  // namespace corvane::os
