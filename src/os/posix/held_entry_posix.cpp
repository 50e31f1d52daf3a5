#include "os/held_entry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "os/fs_fault.h"
#include "os/platform.h"
#include "os/posix/path_posix.h"

namespace corvane::os {
namespace {

ErrorCode last_error() { return error_from_errno(errno); }

int fd_of(std::intptr_t handle) { return static_cast<int>(handle); }

// The magic link of an open descriptor, through which calls that take only a path (chmod) reach
// exactly the opened object.
std::string proc_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// What the descriptor `fd` (opened with O_PATH | O_NOFOLLOW) holds.
bool read_info(int fd, int parent, FileInfo& info) {
  struct stat own {};
  if (::fstat(fd, &own) != 0) return false;
  info = FileInfo{};
  info.is_link = S_ISLNK(own.st_mode);
  info.is_directory = S_ISDIR(own.st_mode);
  info.is_regular = S_ISREG(own.st_mode);
  info.read_only = (own.st_mode & S_IWUSR) == 0 && !info.is_link;
  info.size = info.is_regular ? static_cast<std::uint64_t>(own.st_size) : 0;
  if (info.is_directory) {
    struct statx x {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &x) == 0 &&
        (x.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
      info.is_mount_point = (x.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    } else {
      struct stat above {};
      info.is_mount_point = ::fstat(parent, &above) == 0 && above.st_dev != own.st_dev;
    }
  }
  return true;
}

// Opens `name` in the folder `parent` as itself (O_PATH: no permission of the object is needed).
ErrorCode open_in(int parent, const std::string& name, std::intptr_t& handle, FileInfo& info) {
  const int fd = ::openat(parent, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return last_error();
  if (!read_info(fd, parent, info)) {
    const ErrorCode e = last_error();
    ::close(fd);
    return e;
  }
  handle = fd;
  return kErrorSuccess;
}

}  // namespace

bool HeldEntry::is_open() const { return handle_ >= 0; }

void HeldEntry::close() {
  if (handle_ >= 0) ::close(fd_of(std::exchange(handle_, -1)));
  if (parent_ >= 0) ::close(fd_of(std::exchange(parent_, -1)));
}

ErrorCode HeldEntry::open(std::wstring_view path) {
  close();
  std::string native = posix::native_path(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) return kErrorPathNotFound;
  const auto slash = native.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : native.substr(0, slash));
  std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return kErrorAccessDenied;
  const int parent = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (parent < 0) return errno == ENOTDIR ? kErrorPathNotFound : last_error();
  std::intptr_t handle = -1;
  if (const ErrorCode e = open_in(parent, name, handle, info_)) {
    ::close(parent);
    return e;
  }
  handle_ = handle;
  parent_ = parent;
  name_ = std::move(name);
  path_ = std::wstring(path);
  return kErrorSuccess;
}

ErrorCode HeldEntry::open_child(std::wstring_view name, HeldEntry& child) const {
  child.close();
  if (handle_ < 0 || !info_.is_directory || info_.is_link) return kErrorInvalidHandle;
  std::string native = posix::native_path(name);
  if (native.empty() || native == "." || native == ".." || native.find('/') != std::string::npos) {
    return kErrorInvalidParameter;
  }
  const int parent = ::fcntl(fd_of(handle_), F_DUPFD_CLOEXEC, 0);
  if (parent < 0) return last_error();
  std::intptr_t handle = -1;
  if (const ErrorCode e = open_in(parent, native, handle, child.info_)) {
    ::close(parent);
    return e;
  }
  child.handle_ = handle;
  child.parent_ = parent;
  child.name_ = std::move(native);
  child.path_ = path_ + kSep + std::wstring(name);
  return kErrorSuccess;
}

bool HeldEntry::list(std::vector<DirEntry>& entries) const {
  entries.clear();
  if (handle_ < 0 || !info_.is_directory || info_.is_link) return false;
  const int self = fd_of(handle_);
  // Its entries can be read and removed only when its owner may read, write and enter it.
  struct stat st {};
  if (::fstat(self, &st) == 0 && (st.st_mode & S_IRWXU) != S_IRWXU) {
    if (injected_fs_fault(FsOp::SetAttributes, path_) == kErrorSuccess) {
      (void)::chmod(proc_path(self).c_str(), (st.st_mode & 07777) | S_IRWXU);
    }
  }
  const int fd = ::openat(self, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return false;
  }
  while (const dirent* e = ::readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    DirEntry entry;
    entry.name = posix::wide_path(name);
    const int child = ::openat(fd, e->d_name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (child >= 0) {
      (void)read_info(child, fd, entry.info);
      ::close(child);
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  return true;
}

ErrorCode HeldEntry::remove() {
  if (handle_ < 0) return kErrorInvalidHandle;
  const bool folder = info_.is_directory && !info_.is_link;
  const FsOp op = info_.is_directory ? FsOp::RemoveDirectory : FsOp::Delete;
  if (const ErrorCode fault = injected_fs_fault(op, path_)) {
    close();
    return fault;
  }
  // The name is removed only while it is still this object: whatever has taken its place
  // meanwhile stays.
  struct stat held {};
  struct stat named {};
  ErrorCode result = kErrorSuccess;
  if (::fstat(fd_of(handle_), &held) != 0 ||
      ::fstatat(fd_of(parent_), name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
    result = last_error();
  } else if (held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
    result = kErrorAccessDenied;
  } else if (::unlinkat(fd_of(parent_), name_.c_str(), folder ? AT_REMOVEDIR : 0) != 0) {
    result = last_error();
  }
  close();
  return result;
}

}  // namespace corvane::os
