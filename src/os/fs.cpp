#include "os/fs.h"

#include "os/file.h"

// What the file-system services mean on every platform, built on os/file.h.
namespace corvane::os {

bool read_file(std::wstring_view path, std::string& bytes) { return read_whole_file(path, bytes) == kErrorSuccess; }

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
