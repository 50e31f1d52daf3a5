#include "os/process_spawn.h"

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "os/fs.h"

#include "os/posix/path_posix.h"
#include "os/text.h"

extern char** environ;

namespace corvane::os {
namespace {

// Owners of the two posix_spawn records, destroyed on every path.
struct SpawnActions {
  posix_spawn_file_actions_t value;
  bool ok = posix_spawn_file_actions_init(&value) == 0;
  ~SpawnActions() {
    if (ok) posix_spawn_file_actions_destroy(&value);
  }
};

struct SpawnAttributes {
  posix_spawnattr_t value;
  bool ok = posix_spawnattr_init(&value) == 0;
  ~SpawnAttributes() {
    if (ok) posix_spawnattr_destroy(&value);
  }
};

}  // namespace

std::wstring module_file_path() {
  std::string buffer(260, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      return posix::wide_path(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool start_process(std::wstring_view program, const std::vector<std::wstring>& args,
                   std::wstring_view working_dir, bool /*new_console*/) {
  const std::string path = posix::native_path(program);
  const std::string cwd = posix::native_path(working_dir);
  std::vector<std::string> strings;
  strings.reserve(args.size() + 1);
  strings.push_back(path);
  for (const std::wstring& a : args) strings.push_back(posix::native_path(a));
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);

  SpawnActions actions;
  SpawnAttributes attributes;
  if (!actions.ok || !attributes.ok) return false;
  if (!cwd.empty() && posix_spawn_file_actions_addchdir_np(&actions.value, cwd.c_str()) != 0) return false;
  // Only the standard descriptors go to the child.
  if (posix_spawn_file_actions_addclosefrom_np(&actions.value, 3) != 0) return false;
  // A session of its own, no blocked signals and default signal handling, whatever this process
  // had set up for itself.
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  if (posix_spawnattr_setflags(&attributes.value, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                     POSIX_SPAWN_SETSIGDEF) != 0 ||
      posix_spawnattr_setsigmask(&attributes.value, &none) != 0 ||
      posix_spawnattr_setsigdefault(&attributes.value, &all) != 0) {
    return false;
  }
  pid_t pid = 0;
  return posix_spawn(&pid, path.c_str(), &actions.value, &attributes.value, argv.data(), environ) == 0;
}

void delete_executable_after_exit(std::wstring_view path) {
  if (!path.empty()) (void)::unlink(posix::native_path(path).c_str());
}

bool delete_program_unless_running(std::wstring_view path) {
  // Linux lets a running program's file go, so the processes are asked first: a process runs
  // this file when its /proc/<pid>/exe leads to the same file (device and inode).
  struct stat file {};
  if (path.empty() || ::lstat(posix::native_path(path).c_str(), &file) != 0 || !S_ISREG(file.st_mode)) return false;
  std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
  if (!proc) return false;
  while (const dirent* e = ::readdir(proc.get())) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    struct stat image {};
    const std::string exe = std::string("/proc/") + e->d_name + "/exe";
    if (::stat(exe.c_str(), &image) == 0 && image.st_dev == file.st_dev && image.st_ino == file.st_ino) return false;
  }
  return delete_file(path) == kErrorSuccess;
}

}  // namespace corvane::os
