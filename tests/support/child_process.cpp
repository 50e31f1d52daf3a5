#include "support/child_process.h"

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "os/text.h"

namespace corvane::test {
namespace {

int run_in_child(const std::function<int(void)>& body) {
  const pid_t pid = ::fork();
  if (pid < 0) return kChildLost;
  if (pid == 0) {
    int code = 1;
    try {
      code = body();
    } catch (...) {
      code = 1;
    }
    ::_exit(code);  // no test-framework clean-up in the child
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return kChildLost;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : kChildLost;
}

}  // namespace

int run_as_unprivileged_user(const std::function<int()>& body) {
  return run_in_child([&body] {
    if (::geteuid() == 0) {
      const gid_t none[] = {static_cast<gid_t>(kUnprivilegedId)};
      if (::setgroups(1, none) != 0 || ::setgid(kUnprivilegedId) != 0 || ::setuid(kUnprivilegedId) != 0) {
        return kCannotDropRoot;
      }
      if (::setuid(0) == 0) return kCannotDropRoot;  // root must be gone for good
    }
    return body();
  });
}

void give_to_unprivileged_user(const std::wstring& path) {
  if (::geteuid() != 0) return;
  namespace fs = std::filesystem;
  const std::string root = os::to_utf8_lossless(path);
  (void)::lchown(root.c_str(), kUnprivilegedId, kUnprivilegedId);
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    (void)::lchown(it->path().c_str(), kUnprivilegedId, kUnprivilegedId);
  }
}

int run_in_mount_namespace(const std::function<int()>& body) {
  return run_in_child([&body] {
    if (::unshare(CLONE_NEWNS) != 0) return kNoMountNamespace;
    // Nothing mounted in here may propagate back to the machine's namespace.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kNoMountNamespace;
    return body();
  });
}

bool mount_tmpfs(const std::wstring& at, bool noexec, std::uint64_t size_bytes) {
  const std::string options = size_bytes != 0 ? "size=" + std::to_string(size_bytes) : std::string();
  return ::mount("tmpfs", os::to_utf8_lossless(at).c_str(), "tmpfs", noexec ? MS_NOEXEC : 0,
                 options.empty() ? nullptr : options.c_str()) == 0;
}

bool bind_mount(const std::wstring& from, const std::wstring& at) {
  return ::mount(os::to_utf8_lossless(from).c_str(), os::to_utf8_lossless(at).c_str(), nullptr, MS_BIND, nullptr) == 0;
}

}  // namespace corvane::test
