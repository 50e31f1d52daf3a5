#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "support/links.h"

namespace corvane::test {
namespace {

// Not in mingw-w64's headers 10.0: symbolic links without the privilege (developer mode).
constexpr DWORD kAllowUnprivilegedCreate = 0x2;

bool is_reparse_point(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A junction (mount point) at the new empty folder `link`, leading to the full path `target`:
// FSCTL_SET_REPARSE_POINT with the mount-point layout of the reparse data.
bool make_junction(const std::wstring& link, const std::wstring& target) {
  if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
  const std::wstring substitute = L"\\??\\" + target;
  const std::size_t substitute_bytes = substitute.size() * sizeof(wchar_t);
  const std::size_t print_bytes = target.size() * sizeof(wchar_t);
  // Tag, data length, reserved; then four offsets/lengths; then both names, each with a NUL.
  const std::size_t data_bytes = 8 + substitute_bytes + 2 + print_bytes + 2;
  std::vector<BYTE> buffer(8 + data_bytes, 0);
  auto put16 = [&](std::size_t at, std::size_t value) {
    const WORD w = static_cast<WORD>(value);
    std::memcpy(buffer.data() + at, &w, sizeof w);
  };
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  std::memcpy(buffer.data(), &tag, sizeof tag);
  put16(4, data_bytes);
  put16(8, 0);                          // substitute name offset
  put16(10, substitute_bytes);          // substitute name length
  put16(12, substitute_bytes + 2);      // print name offset
  put16(14, print_bytes);               // print name length
  std::memcpy(buffer.data() + 16, substitute.data(), substitute_bytes);
  std::memcpy(buffer.data() + 16 + substitute_bytes + 2, target.data(), print_bytes);

  const HANDLE h = ::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  bool ok = false;
  if (h != INVALID_HANDLE_VALUE) {
    DWORD returned = 0;
    ok = ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, 0,
                           &returned, nullptr) != FALSE;
    ::CloseHandle(h);
  }
  if (!ok || !is_reparse_point(link)) {
    ::RemoveDirectoryW(link.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool make_link(const std::wstring& link, const std::wstring& target, bool directory) {
  const DWORD flags = (directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | kAllowUnprivilegedCreate;
  if (::CreateSymbolicLinkW(link.c_str(), target.c_str(), flags)) {
    if (is_reparse_point(link)) return true;
    // Something that is no link was made: take it away again.
    if (directory) {
      ::RemoveDirectoryW(link.c_str());
    } else {
      ::DeleteFileW(link.c_str());
    }
  }
  return directory && make_junction(link, target);
}

}  // namespace corvane::test
