#include "os/update_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

#include "os/fs.h"
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

}  // namespace

std::wstring UpdateLock::lock_file_path(std::wstring_view name) {
  const std::wstring file = file_name_for(name);
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime == '/') {
    std::wstring path = from_utf8(runtime);
    if (path.back() != L'/') path += L'/';
    return path + file + L".lock";
  }
  // The temporary folder is shared by all users: one file per user id.
  return temp_dir() + file + L"." + std::to_wstring(::getuid()) + L".lock";
}

UpdateLock::UpdateLock(std::wstring_view name) {
  const std::string path = posix::native_path(lock_file_path(name));
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return;
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    return;
  }
  handle_ = fd;
}

UpdateLock::~UpdateLock() { release(); }

UpdateLock::UpdateLock(UpdateLock&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

UpdateLock& UpdateLock::operator=(UpdateLock&& other) noexcept {
  if (this != &other) {
    release();
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

void UpdateLock::release() {
  if (handle_ >= 0) {
    ::flock(static_cast<int>(handle_), LOCK_UN);
    ::close(static_cast<int>(handle_));
    handle_ = -1;
  }
}

}  // namespace corvane::os
