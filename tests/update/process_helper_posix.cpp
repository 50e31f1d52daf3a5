// A small program the update tests start as another process.
//   map FILE READY [ignore-term]  maps FILE, writes READY, then waits to be ended; with
//                                 ignore-term it ignores SIGTERM and only SIGKILL ends it
//   lock READY DONE HOLD_MS       takes the update lock, writes READY, holds the lock for HOLD_MS
//                                 (forever when 0), writes DONE and releases it; exits with 6
//                                 when the lock cannot be had
//   wait READY                    writes READY, then waits to be ended (maps no client file)
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "os/update_lock.h"

namespace {

void touch(const char* path) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd >= 0) ::close(fd);
}

[[noreturn]] void wait_forever() {
  for (;;) ::pause();
}

int map_file(const char* file, const char* ready, bool ignore_term) {
  if (ignore_term) ::signal(SIGTERM, SIG_IGN);
  const int fd = ::open(file, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 3;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_size == 0) return 4;
  void* view = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) return 5;
  ::close(fd);
  touch(ready);
  wait_forever();
}

int hold_lock(const char* ready, const char* done, long hold_ms) {
  corvane::os::UpdateLock lock;
  if (!lock.owned()) return 6;
  touch(ready);
  if (hold_ms == 0) wait_forever();
  std::this_thread::sleep_for(std::chrono::milliseconds(hold_ms));
  touch(done);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "map") == 0) {
    return map_file(argv[2], argv[3], argc >= 5 && std::strcmp(argv[4], "ignore-term") == 0);
  }
  if (argc == 5 && std::strcmp(argv[1], "lock") == 0) {
    return hold_lock(argv[2], argv[3], std::strtol(argv[4], nullptr, 10));
  }
  if (argc == 3 && std::strcmp(argv[1], "wait") == 0) {
    touch(argv[2]);
    wait_forever();
  }
  std::fputs("usage: map FILE READY [ignore-term] | lock READY DONE HOLD_MS | wait READY\n", stderr);
  return 2;
}
