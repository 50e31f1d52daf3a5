#include "os/update_lock.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "os/posix/lock_wait_posix.h"
#include "os/posix/path_posix.h"
#include "os/text.h"

namespace corvane::os {
namespace {

// "Local\CRVN_client_update" -> "CRVN_client_update": the session prefix is what the folder
// already expresses; any other separator becomes '_' so the name stays one file name.
std::wstring file_name_for(std::wstring_view name) {
  for (const std::wstring_view prefix : {std::wstring_view(L"Local\\"), std::wstring_view(L"Global\\")}) {
    if (name.substr(0, prefix.size()) == prefix) {
      name.remove_prefix(prefix.size());
      break;
    }
  }
  std::wstring file(name);
  for (wchar_t& c : file) {
    if (c == L'\\' || c == L'/') c = L'_';
  }
  return file;
}

// A folder in which no other user can create, replace or remove entries: a real folder (lstat or
// fstat, so a link is never one) owned by this user and writable by no one else.
bool is_private_dir(const struct stat& st) {
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string absolute_env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value == '/' ? std::string(value) : std::string();
}

std::string home_dir() {
  std::string home = absolute_env("HOME");
  if (!home.empty()) return home;
  std::vector<char> buffer(16384);
  passwd entry {};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    home = found->pw_dir;
  }
  return home;
}

// Where the lock file goes, and whether that folder is the per-user cache folder that this code
// makes itself. Empty when there is no per-user folder at all.
struct LockDir {
  std::string path;
  std::string parent_to_make;  // made (0700) before `path` when not empty
};

LockDir lock_dir() {
  const std::string runtime = absolute_env("XDG_RUNTIME_DIR");
  struct stat st {};
  if (!runtime.empty() && ::lstat(runtime.c_str(), &st) == 0 && is_private_dir(st)) return {runtime, {}};
  std::string cache = absolute_env("XDG_CACHE_HOME");
  if (cache.empty()) {
    const std::string home = home_dir();
    if (home.empty()) return {};
    cache = home + "/.cache";
  }
  return {cache + "/corvane", cache};
}

ErrorCode open_error() { return errno == ELOOP ? kErrorReparsePointEncountered : error_from_errno(errno); }

// Closes a descriptor when it goes.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::wstring UpdateLock::lock_file_path(std::wstring_view name) {
  const LockDir dir = lock_dir();
  if (dir.path.empty()) return {};
  return posix::wide_path(dir.path) + L"/" + file_name_for(name) + L".lock";
}

UpdateLock::UpdateLock(std::wstring_view name, LockWait wait) {
  const LockWaitBound once{};
  take(name, wait == LockWait::No ? &once : nullptr);
}

UpdateLock::UpdateLock(std::wstring_view name, const LockWaitBound& wait) { take(name, &wait); }

void UpdateLock::take(std::wstring_view name, const LockWaitBound* wait) {
  const LockDir dir = lock_dir();
  if (dir.path.empty()) {
    error_ = kErrorPathNotFound;
    return;
  }
  if (!dir.parent_to_make.empty()) {
    // Failures show when the folder is opened below.
    (void)::mkdir(dir.parent_to_make.c_str(), 0700);
    (void)::mkdir(dir.path.c_str(), 0700);
  }
  // The folder is checked through its descriptor and the lock file is made relative to that
  // descriptor, so the file is made in the folder that was checked whatever happens to its path.
  struct stat st {};
  if (::lstat(dir.path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    error_ = kErrorReparsePointEncountered;
    return;
  }
  Fd folder{::open(dir.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  if (folder.fd < 0) {
    error_ = open_error();
    return;
  }
  if (::fstat(folder.fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
    error_ = kErrorAccessDenied;
    return;
  }
  // The user's own folder that others may write to is closed to them first; whatever they put in
  // it before is refused below.
  if (!is_private_dir(st) && ::fchmod(folder.fd, 0700) != 0) {
    error_ = error_from_errno(errno);
    return;
  }
  const std::string file = posix::native_path(file_name_for(name)) + ".lock";
  Fd lock;
  do {
    lock.fd = ::openat(folder.fd, file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
  } while (lock.fd < 0 && errno == EINTR);
  if (lock.fd < 0) {
    error_ = open_error();
    return;
  }
  if (::fstat(lock.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    error_ = kErrorAccessDenied;
    return;
  }
  // Nobody else may open it and hold it: the folder keeps others out, and so does the mode.
  if ((st.st_mode & 077) != 0 && ::fchmod(lock.fd, 0600) != 0) {
    error_ = error_from_errno(errno);
    return;
  }
  if (const int e = posix::lock_exclusive(lock.fd, wait); e != 0) {
    error_ = e == EWOULDBLOCK ? kErrorLockHeld : e == ECANCELED ? kErrorCancelled : error_from_errno(e);
    if (e == EWOULDBLOCK) holder_ = posix::flock_holder(lock.fd);
    return;
  }
  handle_ = std::exchange(lock.fd, -1);
}

UpdateLock::~UpdateLock() { release(); }

UpdateLock::UpdateLock(UpdateLock&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone)), error_(other.error_), holder_(std::move(other.holder_)) {}

UpdateLock& UpdateLock::operator=(UpdateLock&& other) noexcept {
  if (this != &other) {
    release();
    handle_ = std::exchange(other.handle_, kNone);
    error_ = other.error_;
    holder_ = std::move(other.holder_);
  }
  return *this;
}

void UpdateLock::release() {
  if (handle_ != kNone) {
    const int fd = static_cast<int>(handle_);
    ::flock(fd, LOCK_UN);
    ::close(fd);
    handle_ = kNone;
  }
}

}  // namespace corvane::os
