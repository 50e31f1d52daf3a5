#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// The lock that serialises the update runs of one user's session: a named mutex on Windows, an
// flock(2) on a lock file on Linux. The system releases it when the holder dies, so a crashed run
// never blocks the next one.
namespace corvane::os {

inline constexpr std::wstring_view kUpdateLockName = L"Local\\CRVN_client_update";

// Holds the lock from construction until it goes. Move-only.
class UpdateLock {
 public:
  // Waits without a time limit until this process holds the lock `name`. When the lock cannot be
  // created at all, the object does not own it (owned() is false) and the caller goes on without.
  explicit UpdateLock(std::wstring_view name = kUpdateLockName);
  ~UpdateLock();
  UpdateLock(UpdateLock&& other) noexcept;
  UpdateLock& operator=(UpdateLock&& other) noexcept;
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;

  bool owned() const { return handle_ != kNone; }
  // Releases the lock early. On Windows a mutex belongs to a thread: release the lock on the
  // thread that took it.
  void release();

  // Where the lock of `name` lives (Linux: $XDG_RUNTIME_DIR/<name>.lock, else a per-user file in
  // the temporary folder; Windows: the mutex's own name); for diagnostics and tests.
  static std::wstring lock_file_path(std::wstring_view name);

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;  // the lock file's descriptor on Linux, the mutex HANDLE on Windows
};

}  // namespace corvane::os
