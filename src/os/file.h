#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
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
  CreateNew,       // write; a new file only (CREATE_NEW): fails with kErrorFileExists when anything,
                   // a link included, has that name, so a link is never followed
};

// What open() accepts at `path` itself (folders above it are followed either way).
enum class OpenTarget {
  Any,          // a link at `path` is followed; only a folder is refused
  // Only a plain file reached without a link. A link (symbolic link, reparse point) at `path` fails
  // with kErrorReparsePointEncountered and neither it nor its target is opened, created or
  // truncated; a folder, device, pipe or socket fails with kErrorAccessDenied without blocking
  // and without being truncated. Windows: CreateFileW with FILE_FLAG_OPEN_REPARSE_POINT, then
  // refuse FILE_ATTRIBUTE_REPARSE_POINT or a folder (GetFileInformationByHandle) and anything that
  // GetFileType does not call FILE_TYPE_DISK; a truncating mode truncates only after these checks.
  RegularFile,
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
  [[nodiscard]] ErrorCode open(std::wstring_view path, OpenMode mode, OpenTarget target = OpenTarget::Any);
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
  // Reads up to `size` bytes at `offset` without moving the file position; `read` 0 means the end
  // of the file. Several threads may read and write one File at once this way.
  [[nodiscard]] ErrorCode read_at(std::uint64_t offset, void* data, std::size_t size, std::size_t& read);
  // Writes all of `size` bytes at the current position (or the end, in append mode).
  [[nodiscard]] ErrorCode write(const void* data, std::size_t size);
  // Writes all of `size` bytes at `offset`, whatever the file position (which Windows then leaves
  // after the written range; Linux leaves it where it was).
  [[nodiscard]] ErrorCode write_at(std::uint64_t offset, const void* data, std::size_t size);
  // Flushes the contents and the file's metadata to the disk (fsync, FlushFileBuffers).
  [[nodiscard]] ErrorCode sync();
  // Flushes the contents and what reading them back needs (its length, its blocks), not its times
  // (fdatasync; FlushFileBuffers on Windows, which has nothing narrower).
  [[nodiscard]] ErrorCode sync_data();

  // The platform's handle (a descriptor on Linux, a HANDLE on Windows), for the platform layer.
  std::intptr_t native() const { return handle_; }

 private:
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t handle_ = kInvalid;
  std::wstring path_;  // as opened; what the fault hook is asked about
};

}  // namespace corvane::os
