#include "os/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "os/file.h"
#include "os/fs_fault.h"
#include "os/posix/path_posix.h"

namespace corvane::os {
namespace {

using posix::native_path;

ErrorCode last_error() { return error_from_errno(errno); }

FileInfo info_from_stat(const struct stat& own, const struct stat* target) {
  FileInfo info;
  info.is_link = S_ISLNK(own.st_mode);
  const struct stat& kind = (info.is_link && target) ? *target : own;
  info.is_directory = S_ISDIR(kind.st_mode);
  info.is_regular = S_ISREG(own.st_mode);
  info.read_only = (own.st_mode & S_IWUSR) == 0 && !info.is_link;
  info.size = S_ISREG(own.st_mode) ? static_cast<std::uint64_t>(own.st_size) : 0;
  return info;
}

// Whether the folder `name` (relative to `dirfd`, or a path) is the root of a mount. The kernel
// says so itself where it can (STATX_ATTR_MOUNT_ROOT, also for a bind mount of the same file
// system); otherwise a device that differs from the parent folder's tells.
bool is_mount_root(int dirfd, const char* name, const std::string& parent) {
  struct statx own {};
  if (::statx(dirfd, name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &own) != 0) return false;
  if ((own.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
    return (own.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  }
  struct stat above {};
  if (::stat(parent.c_str(), &above) != 0) return false;
  return makedev(own.stx_dev_major, own.stx_dev_minor) != above.st_dev;
}

std::string parent_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// fsync of the object at `path`: a plain file (never through a link at `path`, never waiting on a
// pipe) or a folder. A read-only descriptor is enough for fsync on Linux.
ErrorCode fsync_path(const std::string& path, bool folder) {
  const int flags = O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  int fd;
  do {
    fd = ::open(path.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == ELOOP ? kErrorReparsePointEncountered : last_error();
  const ErrorCode e = ::fsync(fd) == 0 ? kErrorSuccess : last_error();
  ::close(fd);
  return e;
}

// Makes the directory entry of `path` durable: fsync of its parent folder.
ErrorCode sync_parent(const std::string& path) {
  const std::string parent = parent_of(path);
  if (const ErrorCode fault = injected_fs_fault(FsOp::Sync, posix::wide_path(parent))) return fault;
  return fsync_path(parent, true);
}

}  // namespace

std::optional<FileInfo> file_info(std::wstring_view path) {
  if (path.empty()) return std::nullopt;
  const std::string p = native_path(path);
  struct stat own {};
  if (::lstat(p.c_str(), &own) != 0) return std::nullopt;
  struct stat target {};
  const bool has_target = S_ISLNK(own.st_mode) && ::stat(p.c_str(), &target) == 0;
  FileInfo info = info_from_stat(own, has_target ? &target : nullptr);
  info.is_mount_point = S_ISDIR(own.st_mode) && is_mount_root(AT_FDCWD, p.c_str(), parent_of(p));
  return info;
}

bool list_directory(std::wstring_view path, std::vector<DirEntry>& entries) {
  entries.clear();
  const std::string p = native_path(path);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(p.c_str()), ::closedir);
  if (!dir) return false;
  const int dfd = ::dirfd(dir.get());
  while (const dirent* e = ::readdir(dir.get())) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    DirEntry entry;
    entry.name = posix::wide_path(name);
    struct stat own {};
    if (::fstatat(dfd, e->d_name, &own, AT_SYMLINK_NOFOLLOW) == 0) {
      struct stat target {};
      const bool has_target = S_ISLNK(own.st_mode) && ::fstatat(dfd, e->d_name, &target, 0) == 0;
      entry.info = info_from_stat(own, has_target ? &target : nullptr);
      entry.info.is_mount_point = S_ISDIR(own.st_mode) && is_mount_root(dfd, e->d_name, p);
    }
    entries.push_back(std::move(entry));
  }
  return true;
}

ErrorCode move_file(std::wstring_view from, std::wstring_view to, unsigned flags) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::Move, from, to)) return fault;
  const std::string src = native_path(from);
  const std::string dst = native_path(to);
  struct stat st {};
  if (::lstat(src.c_str(), &st) != 0) return last_error();
  if ((flags & kMoveReplaceExisting) == 0) {
    struct stat existing {};
    if (::lstat(dst.c_str(), &existing) == 0) return kErrorAlreadyExists;
  } else {
    // Windows never replaces a folder by a move: the call fails with access denied.
    struct stat existing {};
    if (::lstat(dst.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode) && !S_ISDIR(st.st_mode)) {
      return kErrorAccessDenied;
    }
  }
  // The data first: a name that survives a power cut must never lead to a file that did not.
  if ((flags & kMoveWriteThrough) != 0 && S_ISREG(st.st_mode)) {
    if (const ErrorCode fault = injected_fs_fault(FsOp::Sync, from)) return fault;
    if (const ErrorCode e = fsync_path(src, false)) return e;
  }
  if (::rename(src.c_str(), dst.c_str()) != 0) return last_error();
  if ((flags & kMoveWriteThrough) != 0) return sync_parent(dst);
  return kErrorSuccess;
}

ErrorCode copy_file(std::wstring_view from, std::wstring_view to, bool fail_if_exists) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::Copy, from, to)) return fault;
  const std::string src = native_path(from);
  const std::string dst = native_path(to);
  const int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return last_error();
  struct stat st {};
  if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    const ErrorCode e = S_ISDIR(st.st_mode) ? kErrorAccessDenied : last_error();
    ::close(in);
    return e;
  }
  int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
  if (fail_if_exists) flags |= O_EXCL;
  // A running program cannot be opened for writing (ETXTBSY); replace it through a new inode the
  // way CopyFile replaces a file that is only mapped: unlink first, then create.
  int out = ::open(dst.c_str(), flags, st.st_mode & 07777);
  if (out < 0 && errno == ETXTBSY && !fail_if_exists) {
    ::unlink(dst.c_str());
    out = ::open(dst.c_str(), flags, st.st_mode & 07777);
  }
  if (out < 0) {
    const ErrorCode e = errno == EEXIST ? kErrorFileExists : last_error();
    ::close(in);
    return e;
  }
  ErrorCode result = kErrorSuccess;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      result = last_error();
      break;
    }
    ssize_t written = 0;
    while (written < n) {
      const ssize_t w = ::write(out, buffer + written, static_cast<size_t>(n - written));
      if (w < 0) {
        if (errno == EINTR) continue;
        result = last_error();
        break;
      }
      written += w;
    }
    if (result != kErrorSuccess) break;
  }
  ::fchmod(out, st.st_mode & 07777);
  if (::close(out) != 0 && result == kErrorSuccess) result = last_error();
  ::close(in);
  return result;
}

ErrorCode sync_file(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::Sync, path)) return fault;
  return fsync_path(native_path(path), false);
}

ErrorCode sync_directory(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::Sync, path)) return fault;
  return fsync_path(native_path(path), true);
}

ErrorCode free_disk_space(std::wstring_view folder, std::uint64_t& bytes) {
  bytes = 0;
  struct statvfs st {};
  if (::statvfs(native_path(folder).c_str(), &st) != 0) return last_error();
  bytes = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
  return kErrorSuccess;
}

ErrorCode delete_file(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::Delete, path)) return fault;
  const std::string p = native_path(path);
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return last_error();
  if (S_ISDIR(st.st_mode)) return kErrorAccessDenied;
  return ::unlink(p.c_str()) == 0 ? kErrorSuccess : last_error();
}

ErrorCode remove_directory(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::RemoveDirectory, path)) return fault;
  const std::string p = native_path(path);
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return last_error();
  if (S_ISLNK(st.st_mode)) {
    // A directory link goes as a link; a link to a file is not a directory.
    struct stat target {};
    if (::stat(p.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) return kErrorPathNotFound;
    return ::unlink(p.c_str()) == 0 ? kErrorSuccess : last_error();
  }
  if (!S_ISDIR(st.st_mode)) return kErrorPathNotFound;
  return ::rmdir(p.c_str()) == 0 ? kErrorSuccess : last_error();
}

ErrorCode create_directory(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::CreateDirectory, path)) return fault;
  const std::string p = native_path(path);
  return ::mkdir(p.c_str(), 0777) == 0 ? kErrorSuccess : last_error();
}

ErrorCode set_normal_attributes(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::SetAttributes, path)) return fault;
  const std::string p = native_path(path);
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return last_error();
  if (S_ISLNK(st.st_mode)) return kErrorSuccess;  // links carry no attributes of their own here
  const mode_t mode = st.st_mode & 07777;
  const mode_t wanted = mode | (S_ISDIR(st.st_mode) ? S_IRWXU : S_IWUSR);
  if (wanted == mode) return kErrorSuccess;
  return ::chmod(p.c_str(), wanted) == 0 ? kErrorSuccess : last_error();
}

std::wstring temp_dir() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = env && *env ? env : "/tmp";
  if (dir.back() != '/') dir.push_back('/');
  return posix::wide_path(dir);
}

}  // namespace corvane::os
