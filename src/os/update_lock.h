#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "os/error.h"
#include "os/lock_wait.h"

// The lock that serialises the update runs of one user's session: a named mutex on Windows, an
// flock(2) on a lock file on Linux. The system releases it when the holder dies, so a crashed run
// never blocks the next one.
//
// Only the user's own processes may be able to hold it or make it: a lock that another account
// could create first would let that account block every run, or make runs go ahead unlocked.
// - Linux: the lock file lives in $XDG_RUNTIME_DIR when that is a folder of this user that no one
//   else may write to, else in "corvane" below $XDG_CACHE_HOME (or $HOME/.cache), made with mode
//   0700. The folder must be a real folder (not a link) owned by this user (one that others may
//   write to is made 0700 first), and the lock file a plain file (not a link) owned by this user.
// - Windows: CreateMutexW with the name in the session's "Local\" namespace; when that fails (for
//   instance because another account made an object of that name that this user may not open),
//   the lock is not owned and error() holds GetLastError().
namespace corvane::os {

inline constexpr std::wstring_view kUpdateLockName = L"Local\\CRVN_client_update";

// Whether taking the lock waits for its holder to let go.
enum class LockWait { Forever, No };

// Holds the lock from construction until it goes. Move-only.
class UpdateLock {
 public:
  // Waits without a time limit until this process holds the lock `name` (with LockWait::No it
  // only tries: a lock held elsewhere is not owned, with error() kErrorLockHeld). When the lock
  // cannot be had safely (see above), the object does not own it: owned() is false, error() says
  // why, and the caller must not go on as if it held the lock.
  explicit UpdateLock(std::wstring_view name = kUpdateLockName, LockWait wait = LockWait::Forever);
  // Waits at most `wait.limit` (and not once `*wait.cancel` is set): a lock still held elsewhere
  // then is not owned, with error() kErrorLockHeld (kErrorCancelled when cancelled) and holder()
  // telling what is known of the process that holds it.
  UpdateLock(std::wstring_view name, const LockWaitBound& wait);
  ~UpdateLock();
  UpdateLock(UpdateLock&& other) noexcept;
  UpdateLock& operator=(UpdateLock&& other) noexcept;
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;

  bool owned() const { return handle_ != kNone; }
  // Why the lock is not owned (a Windows error code): kErrorAccessDenied for a folder or lock file
  // of another user or one that others may write to, kErrorReparsePointEncountered for a link
  // in their place, kErrorPathNotFound when there is no per-user folder at all. 0 when owned.
  ErrorCode error() const { return error_; }
  const LockHolder& holder() const { return holder_; }
  // Releases the lock early. On Windows a mutex belongs to a thread: release the lock on the
  // thread that took it.
  void release();

  // Where the lock of `name` lives: the lock file's path on Linux (empty when no per-user folder
  // is known), the mutex name on Windows. For messages and tests.
  static std::wstring lock_file_path(std::wstring_view name);

 private:
  static constexpr std::intptr_t kNone = -1;
  void take(std::wstring_view name, const LockWaitBound* wait);

  std::intptr_t handle_ = kNone;  // the lock file's descriptor on Linux, the mutex HANDLE on Windows
  ErrorCode error_ = kErrorSuccess;
  LockHolder holder_;
};

}  // namespace corvane::os
