#include "os/posix/lock_wait_posix.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "os/posix/path_posix.h"

namespace corvane::os::posix {
namespace {

constexpr std::chrono::milliseconds kRetry{50};

int try_once(int fd, int operation) {
  int rc;
  do {
    rc = ::flock(fd, operation);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? 0 : errno;
}

bool cancelled(const LockWaitBound& wait) { return wait.cancel != nullptr && wait.cancel->load(); }

}  // namespace

int lock_exclusive(int fd, const LockWaitBound* wait) {
  if (wait == nullptr) return try_once(fd, LOCK_EX);
  const auto deadline = std::chrono::steady_clock::now() + wait->limit;
  for (;;) {
    if (cancelled(*wait)) return ECANCELED;
    const int e = try_once(fd, LOCK_EX | LOCK_NB);
    if (e != EWOULDBLOCK) return e;
    if (std::chrono::steady_clock::now() >= deadline) return EWOULDBLOCK;
    std::this_thread::sleep_for(kRetry);
  }
}

LockHolder flock_holder(int fd) {
  LockHolder holder;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return holder;
  // "1: FLOCK  ADVISORY  WRITE 4242 08:01:1234567 0 EOF"; waiters' lines carry "->" after the number.
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, device;
    unsigned long pid = 0;
    if (!(fields >> number >> kind) || kind != "FLOCK") continue;
    if (!(fields >> mode >> access >> pid >> device)) continue;
    unsigned major_id = 0, minor_id = 0;
    unsigned long long inode = 0;
    if (std::sscanf(device.c_str(), "%x:%x:%llu", &major_id, &minor_id, &inode) != 3) continue;
    if (inode != st.st_ino || major_id != major(st.st_dev) || minor_id != minor(st.st_dev)) continue;
    holder.pid = static_cast<std::uint32_t>(pid);
    break;
  }
  if (holder.pid == 0) return holder;
  std::ifstream comm("/proc/" + std::to_string(holder.pid) + "/comm");
  std::string name;
  if (std::getline(comm, name)) holder.program = wide_path(name);
  return holder;
}

}  // namespace corvane::os::posix
