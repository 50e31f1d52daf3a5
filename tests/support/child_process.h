#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

// Test cases that need a process of their own: one that runs as an ordinary user even when the
// tests run as root (root passes every permission check), or one with mounts of its own. The body
// runs in a forked child and answers with its exit code; it must not use the test framework's
// assertions, which would report in the child.
namespace corvane::test {

// The user and group the unprivileged child runs as when the tests run as root ("nobody").
inline constexpr uid_t kUnprivilegedId = 65534;

// Exit codes of the helpers themselves, apart from the body's.
inline constexpr int kChildLost = -1;         // the child could not be started or was killed
inline constexpr int kCannotDropRoot = 250;   // setgroups/setgid/setuid failed
inline constexpr int kNoMountNamespace = 251; // unshare(CLONE_NEWNS) or making mounts private failed

// Runs `body` in a child as an ordinary user: as kUnprivilegedId when this process is root, else
// as the current user. Its exit code, or one of the codes above.
int run_as_unprivileged_user(const std::function<int()>& body);

// Gives `path` and everything below it to the user of run_as_unprivileged_user (no change when
// the tests do not run as root).
void give_to_unprivileged_user(const std::wstring& path);

// Runs `body` in a child with a mount namespace of its own: what it mounts vanishes with it and
// is never seen outside. Its exit code, or one of the codes above.
int run_in_mount_namespace(const std::function<int()>& body);

// Inside run_in_mount_namespace: mounts a fresh tmpfs on the folder `at` (where programs cannot
// be started with `noexec`; `size_bytes` caps it when not 0), or binds the folder `from` there.
// False when the mount fails.
bool mount_tmpfs(const std::wstring& at, bool noexec, std::uint64_t size_bytes = 0);
bool bind_mount(const std::wstring& from, const std::wstring& at);

}  // namespace corvane::test
