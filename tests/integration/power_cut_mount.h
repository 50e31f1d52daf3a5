#pragma once
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

// Mounts corvane-power-cut-fs (tests/integration/power_cut_fs.cpp) for a test: a folder that
// forgets whatever was not made durable when it is cut. Linux only; needs root and /dev/fuse.
namespace corvane::test {

struct PowerCutOptions {
  bool strict = true;        // folder entries revert to their last folder sync too
  std::string anchor;        // with cut_after: count from the first call whose log line matches
  std::uint64_t cut_after = 0;  // cut instead of carrying out this call (0: only when told)
  std::string log;           // the file system's call log, when not empty
};

class PowerCutMount {
 public:
  // `backing` holds the files; `mount` is an empty folder where they are seen.
  PowerCutMount(std::string backing, std::string mount);
  ~PowerCutMount();
  PowerCutMount(const PowerCutMount&) = delete;
  PowerCutMount& operator=(const PowerCutMount&) = delete;

  // Why FUSE mounts cannot be made here; empty when they can.
  static std::string unavailable_reason();

  // Starts the file system and waits until the mount answers. False when it did not come up.
  [[nodiscard]] bool mount(const PowerCutOptions& options = {});
  // Cuts the power now.
  [[nodiscard]] bool cut();
  // The number of the call at which the power was cut, once it was.
  std::optional<std::uint64_t> cut_at() const;
  // Unmounts and waits for the file system to end: after a cut this is the reboot's first half.
  void unmount();
  bool mounted() const { return pid_ > 0; }

  const std::string& backing() const { return backing_; }
  const std::string& path() const { return mount_; }

 private:
  std::string backing_;
  std::string mount_;
  std::string marker_;
  pid_t pid_ = -1;
};

}  // namespace corvane::test
