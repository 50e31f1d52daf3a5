#include "os/fs.h"

#include <algorithm>

#include "os/file.h"
#include "os/fs_fault.h"

// What the file-system services mean on every platform, built on os/file.h.
namespace corvane::os {
namespace {

// Writes `bytes` as the whole of `path` with one write; with `flush` they are on the disk before
// this returns. A failed or short write deletes the file again.
ErrorCode write_whole_file(std::wstring_view path, std::string_view bytes, OpenTarget target, bool flush) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::Write, path)) return fault;
  File file;
  if (const ErrorCode e = file.open(path, OpenMode::WriteTruncate, target)) return e;
  ErrorCode e = file.write(bytes.data(), bytes.size());
  if (e == kErrorSuccess && flush) e = file.sync();
  file.close();
  if (e != kErrorSuccess) {
    (void)delete_file(path);
    return e;
  }
  return kErrorSuccess;
}

}  // namespace

ErrorCode write_file(std::wstring_view path, std::string_view bytes) {
  return write_whole_file(path, bytes, OpenTarget::Any, /*flush=*/false);
}

ErrorCode write_file_atomically(std::wstring_view path, std::string_view bytes) {
  std::wstring tmp(path);
  tmp += L".tmp";
  // Whatever has the temporary name (a leftover, or a link put there) goes as itself, and the
  // contents go into a plain file of that name only, never through a link or reparse point. They
  // are on the disk before the move makes them the file: a power cut leaves the old file or this
  // one.
  (void)delete_file(tmp);
  if (const ErrorCode e = write_whole_file(tmp, bytes, OpenTarget::RegularFile, /*flush=*/true)) return e;
  return move_file(tmp, path, kMoveReplaceExisting | kMoveWriteThrough);
}


bool read_file(std::wstring_view path, std::string& bytes) { return read_whole_file(path, bytes) == kErrorSuccess; }

ErrorCode read_plain_file(std::wstring_view path, std::size_t limit, std::string& bytes) {
  bytes.clear();
  File file;
  if (const ErrorCode e = file.open(path, OpenMode::ReadExisting, OpenTarget::RegularFile)) return e;
  std::uint64_t length = 0;
  if (!file.size(length)) return kErrorIoDevice;
  if (length > limit) return kErrorFileTooLarge;
  // One byte more than the limit is asked for, so that a file that grew meanwhile is seen.
  bytes.resize(static_cast<std::size_t>(length) + 1);
  std::size_t filled = 0;
  for (;;) {
    std::size_t n = 0;
    if (const ErrorCode e = file.read(bytes.data() + filled, bytes.size() - filled, n)) {
      bytes.clear();
      return e;
    }
    if (n == 0) break;
    filled += n;
    if (filled > limit) {
      bytes.clear();
      return kErrorFileTooLarge;
    }
    if (filled == bytes.size()) bytes.resize(std::min(bytes.size() * 2, limit + 1));
  }
  bytes.resize(filled);
  return kErrorSuccess;
}

ErrorCode read_whole_file(std::wstring_view path, std::string& bytes) {
  bytes.clear();
  File file;
  if (const ErrorCode e = file.open(path, OpenMode::ReadExisting)) return e;
  std::uint64_t expected = 0;
  if (file.size(expected) && expected < (std::uint64_t{1} << 31)) bytes.reserve(static_cast<std::size_t>(expected));
  char buffer[1 << 16];
  for (;;) {
    std::size_t n = 0;
    if (const ErrorCode e = file.read(buffer, sizeof buffer, n)) {
      bytes.clear();
      return e;
    }
    if (n == 0) return kErrorSuccess;
    bytes.append(buffer, n);
  }
}

}  // namespace corvane::os
