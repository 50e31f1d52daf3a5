#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "os/error.h"

// An open file with an owner: closed when the object goes. Positioned writes carry their offset
// and never depend on a shared file pointer, so several threads may write disjoint ranges of one
// File at once.
namespace corvane::os {

// The read-write modes create runnable files on Linux (mode 0777 less the umask): they make the
// staging files that become client files, and on Windows any client file can be run without a
// permission of its own. The other modes create ordinary 0666 files.
enum class OpenMode {
  ReadExisting,    // read; the file must exist (sequential-scan hint)
  ReadWriteAlways, // read and write; created when missing (OPEN_ALWAYS)
  WriteTruncate,   // write; created or truncated (CREATE_ALWAYS)
  ReadWriteTruncate, // read and write; created or truncated (CREATE_ALWAYS)
  AppendAlways,    // append; created when missing
};

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens `path`; on failure the File stays closed and the Windows error code is returned.
  [[nodiscard]] ErrorCode open(std::wstring_view path, OpenMode mode);
  bool is_open() const { return handle_ != kInvalid; }
  void close();

  // Current length in bytes; false when it cannot be read.
  [[nodiscard]] bool size(std::uint64_t& out) const;
  // Sets the length to exactly `length` (extends with zeros or truncates).
  [[nodiscard]] ErrorCode set_size(std::uint64_t length);
  // Reserves the disk blocks of [0, length) so that a full disk shows here, not later.
  [[nodiscard]] ErrorCode reserve(std::uint64_t length);
  // Reads up to `size` bytes at the current position; `read` 0 means the end of the file.
  [[nodiscard]] ErrorCode read(void* data, std::size_t size, std::size_t& read);
  // Writes all of `size` bytes at the current position (or the end, in append mode).
  [[nodiscard]] ErrorCode write(const void* data, std::size_t size);
  // Writes all of `size` bytes at `offset`, whatever the file position (which Windows then leaves
  // after the written range; Linux leaves it where it was).
  [[nodiscard]] ErrorCode write_at(std::uint64_t offset, const void* data, std::size_t size);
  // Flushes the contents to the disk.
  [[nodiscard]] ErrorCode sync();

  // The platform's handle (a descriptor on Linux, a HANDLE on Windows), for the platform layer.
  std::intptr_t native() const { return handle_; }

 private:
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t handle_ = kInvalid;
};

}  // namespace corvane::os
