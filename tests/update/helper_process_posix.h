#pragma once
// Starting, watching and reaping the test helper program (process_helper.cpp) from a test.
#include <grp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "os/fs.h"
#include "os/text.h"

extern char** environ;

namespace corvane::test {

// A child process that is killed and reaped when the object goes, whatever the test did.
class ChildProcess {
 public:
  // Starts `program` with `args`; pid() is 0 when that failed.
  ChildProcess(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0) pid_ = pid;
  }
  // Starts `program` with `args` as the user `uid` (group `gid`, no supplementary groups) with
  // exactly the environment `env` ("NAME=value"), for tests of what another, unprivileged user
  // can do. Needs root. The privileges are dropped in the forked child just before it runs the
  // program; a child that cannot drop them exits with 126 and never runs it.
  ChildProcess(const std::string& program, const std::vector<std::string>& args, uid_t uid, gid_t gid,
               const std::vector<std::string>& env) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
      // Only async-signal-safe calls between fork and exec.
      if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0 || ::getuid() != uid) {
        ::_exit(126);
      }
      ::execve(program.c_str(), argv.data(), envp.data());
      ::_exit(127);
    }
    if (pid > 0) pid_ = pid;
  }
  ~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // Reaps the child if it has ended (waiting up to `timeout`); true with its wait status then.
  bool ended(std::chrono::milliseconds timeout, int& status) {
    if (reaped_) {
      status = status_;
      return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
        reaped_ = true;
        status = status_;
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  // Still running (not ended, not a zombie waiting to be reaped).
  bool running() {
    int status = 0;
    return !ended(std::chrono::milliseconds(0), status);
  }

 private:
  pid_t pid_ = 0;
  bool reaped_ = false;
  int status_ = 0;
};

// Waits until something is at `path`; false after `timeout`.
inline bool wait_for_file(const std::wstring& path, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!os::file_info(path)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

inline std::string helper_program() { return CORVANE_TEST_HELPER; }

// The user ids that tests of another user's doings run as when the tests run as root: two users
// without any privilege (they need not exist in the user database).
inline constexpr uid_t kOtherUser = 65534;
inline constexpr uid_t kThirdUser = 65533;

// The environment variables of the sanitizers, passed on to children that get an environment of
// their own.
inline std::vector<std::string> sanitizer_env() {
  std::vector<std::string> env;
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  return env;
}

}  // namespace corvane::test
