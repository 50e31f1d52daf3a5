#include "os/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "os/posix/path_posix.h"
#include "os/text.h"

namespace corvane::os {
namespace {

std::string proc_path(ProcessId pid, const char* leaf) {
  return "/proc/" + std::to_string(pid) + "/" + leaf;
}

// Reads a /proc file whole (their sizes are not known in advance).
bool read_proc_file(const std::string& path, std::string& text) {
  text.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[8192];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return ok;
}

// The path column of one /proc/PID/maps line ("addr perms offset dev inode   path"); empty for
// anonymous and special mappings such as [heap].
std::string_view mapped_path(std::string_view line) {
  std::size_t pos = 0;
  for (int field = 0; field < 5; ++field) {
    pos = line.find(' ', pos);
    if (pos == std::string_view::npos) return {};
    while (pos < line.size() && line[pos] == ' ') ++pos;
  }
  if (pos >= line.size() || line[pos] != '/') return {};
  return line.substr(pos);
}

bool send_signal(int pidfd, int signal) {
  return ::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0) == 0;
}

}  // namespace

ProcessId current_process_id() { return static_cast<ProcessId>(::getpid()); }

bool list_process_ids(std::vector<ProcessId>& ids) {
  ids.clear();
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("/proc"), ::closedir);
  if (!dir) return false;
  while (const dirent* e = ::readdir(dir.get())) {
    const std::string_view name = e->d_name;
    if (name.empty() || name.size() > 10) continue;
    std::uint64_t value = 0;
    bool numeric = true;
    for (const char c : name) {
      if (c < '0' || c > '9') {
        numeric = false;
        break;
      }
      value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (numeric && value <= 0xFFFFFFFFu) ids.push_back(static_cast<ProcessId>(value));
  }
  return true;
}

std::wstring process_image_path(ProcessId pid) {
  const std::string link = proc_path(pid, "exe");
  std::string target(4096, '\0');
  const ssize_t n = ::readlink(link.c_str(), target.data(), target.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return {};
  target.resize(static_cast<std::size_t>(n));
  return posix::wide_path(target);
}

bool process_modules(ProcessId pid, std::vector<std::wstring>& modules) {
  modules.clear();
  std::string text;
  if (!read_proc_file(proc_path(pid, "maps"), text)) return false;
  std::string_view rest = text;
  std::string_view previous;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const std::string_view path = mapped_path(line);
    // A file's mappings are listed next to each other; report it once.
    if (path.empty() || path == previous) continue;
    previous = path;
    modules.push_back(posix::wide_path(path));
  }
  return true;
}

void ProcessHandle::close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

bool ProcessHandle::open(ProcessId pid) {
  close();
  if (pid == 0) return false;
  const long fd = ::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0);
  if (fd < 0) return false;
  handle_ = fd;  // pidfds are always close-on-exec
  return true;
}

bool ProcessHandle::ask_to_close() { return handle_ >= 0 && send_signal(static_cast<int>(handle_), SIGTERM); }

bool ProcessHandle::terminate() { return handle_ >= 0 && send_signal(static_cast<int>(handle_), SIGKILL); }

bool ProcessHandle::wait(std::uint32_t timeout_ms) {
  if (handle_ < 0) return false;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const int wait_ms = static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
    pollfd p{static_cast<int>(handle_), POLLIN, 0};
    const int n = ::poll(&p, 1, wait_ms);
    if (n > 0) return true;  // a pidfd turns readable when its process has ended
    if (n == 0) return false;
    if (errno != EINTR) return false;
  }
}

}  // namespace corvane::os
