#include "integration/power_cut_mount.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The mount answers: its control file reads "live ..." or "cut ...".
bool answers(const std::string& mount) {
  const std::string state = read_all(mount + "/.power-cut");
  return state.rfind("live", 0) == 0 || state.rfind("cut", 0) == 0;
}

bool wait_for_exit(pid_t pid, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) return true;
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(5ms);
  }
}

}  // namespace

PowerCutMount::PowerCutMount(std::string backing, std::string mount)
    : backing_(std::move(backing)), mount_(std::move(mount)), marker_(backing_ + ".power-cut-marker") {}

PowerCutMount::~PowerCutMount() { unmount(); }

std::string PowerCutMount::unavailable_reason() {
  if (::geteuid() != 0) return "FUSE mounts of the power-cut file system need root";
  if (::access("/dev/fuse", R_OK | W_OK) != 0) return "no usable /dev/fuse";
  return {};
}

bool PowerCutMount::mount(const PowerCutOptions& options) {
  unmount();
  ::unlink(marker_.c_str());
  std::vector<std::string> args = {CORVANE_POWER_CUT_FS, "--backing", backing_, "--mount", mount_,
                                   "--cut-marker", marker_};
  if (options.strict) args.push_back("--strict");
  if (!options.log.empty()) args.insert(args.end(), {"--log", options.log});
  if (!options.anchor.empty()) args.insert(args.end(), {"--anchor", options.anchor});
  if (options.cut_after != 0) args.insert(args.end(), {"--cut-after", std::to_string(options.cut_after)});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The file system's own messages go where the test's go; its standard input is not the test's.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    pid_ = -1;
    return false;
  }
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (!answers(mount_)) {
    if (wait_for_exit(pid_, 0ms) || std::chrono::steady_clock::now() > until) {
      unmount();
      return false;
    }
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

bool PowerCutMount::cut() {
  const int fd = ::open((mount_ + "/.power-cut").c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = ::write(fd, "cut", 3) == 3;
  ::close(fd);
  return written && cut_at().has_value();
}

std::optional<std::uint64_t> PowerCutMount::cut_at() const {
  const std::string marker = read_all(marker_);
  if (marker.empty()) return std::nullopt;
  return std::strtoull(marker.c_str(), nullptr, 10);
}

void PowerCutMount::unmount() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  if (!wait_for_exit(pid_, 10s)) {
    // A file system that does not end on its own: the mount goes first, then the process.
    ::umount2(mount_.c_str(), MNT_DETACH);
    ::kill(pid_, SIGKILL);
    (void)wait_for_exit(pid_, 10s);
  }
  // Whatever is left of the mount after the process is gone (it was killed before unmounting).
  struct stat at {};
  struct stat above {};
  if (::stat(mount_.c_str(), &at) != 0 || ::stat((mount_ + "/..").c_str(), &above) != 0 || at.st_dev != above.st_dev) {
    ::umount2(mount_.c_str(), MNT_DETACH);
  }
  pid_ = -1;
}

}  // namespace corvane::test
