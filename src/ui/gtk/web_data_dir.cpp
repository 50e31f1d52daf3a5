#include "ui/gtk/web_data_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace corvane {
namespace {

// An open descriptor, closed on every path.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Creates every missing folder of the absolute `path` with mode 0700; existing ones are kept as
// they are (they are checked where it matters).
bool make_parents(const std::string& path) {
  for (std::size_t at = path.find('/', 1); ; at = path.find('/', at + 1)) {
    const std::string part = path.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (at == std::string::npos) return true;
  }
}

// No user but the effective one (and root) may rename or replace entries of this folder.
bool only_user_may_change(const struct stat& st) {
  if (!S_ISDIR(st.st_mode) || (st.st_uid != ::geteuid() && st.st_uid != 0)) return false;
  const bool others_write = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  return !others_write || (st.st_mode & S_ISVTX) != 0;
}

// Every folder from the root down to the resolved `path` is one that only the user may change.
bool safe_chain(const std::string& path) {
  for (std::size_t at = 0; at != std::string::npos; at = path.find('/', at + 1)) {
    const std::string part = at == 0 ? "/" : path.substr(0, at);
    struct stat st {};
    if (::lstat(part.c_str(), &st) != 0 || !only_user_may_change(st)) return false;
  }
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && only_user_may_change(st);
}

}  // namespace

std::string prepare_web_data_dir(const std::string& base) {
  if (base.empty() || base.front() != '/') return {};
  std::string parent = base;
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  if (!make_parents(parent)) return {};

  // Nobody else may rename or replace the folder (or any above it) while the view uses it.
  char* resolved_text = ::realpath(parent.c_str(), nullptr);
  if (!resolved_text) return {};
  const std::string resolved = resolved_text;
  std::free(resolved_text);
  if (!safe_chain(resolved)) return {};
  const Fd parent_fd(::open(resolved.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (parent_fd.get() < 0) return {};

  // The folder itself: made here, or already the user's own; never followed through a link.
  if (::mkdirat(parent_fd.get(), kWebDataFolderName, 0700) != 0 && errno != EEXIST) return {};
  const Fd dir_fd(::openat(parent_fd.get(), kWebDataFolderName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (dir_fd.get() < 0 || ::fstat(dir_fd.get(), &st) != 0) return {};
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return {};
  if ((st.st_mode & 07777) != 0700 && ::fchmod(dir_fd.get(), 0700) != 0) return {};
  return (resolved == "/" ? resolved : resolved + "/") + kWebDataFolderName;
}

}  // namespace corvane
