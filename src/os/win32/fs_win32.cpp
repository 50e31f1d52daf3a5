#include "os/fs.h"

#include <windows.h>

#include <string>
#include <vector>

#include "os/file.h"
#include "os/fs_fault.h"
#include "os/win32/win32_common.h"

// windows.h makes these names macros for its A/W functions, which would rename FsOp's members; the
// calls below name the W functions themselves.
#undef CreateDirectory
#undef RemoveDirectory

namespace corvane::os {
namespace {

using win32::last_error;
using win32::native_path;

// The search pattern for everything in `path`: "path\*" ("C:\*" for a root that ends with "\").
std::wstring all_in(const std::wstring& path) {
  if (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) return path + L"*";
  return path + L"\\*";
}

// Closes a FindFirstFileEx search when it goes.
struct FindHandle {
  HANDLE h;
  ~FindHandle() {
    if (h != INVALID_HANDLE_VALUE) ::FindClose(h);
  }
};

// The folder that holds `path`: everything before its last separator.
std::wstring parent_of(std::wstring_view path) {
  const auto separator = path.find_last_of(L"\\/");
  return separator == std::wstring_view::npos ? std::wstring(L".") : std::wstring(path.substr(0, separator));
}

// FlushFileBuffers on a handle of `path` that may write (the call needs GENERIC_WRITE). A folder
// is opened as one (FILE_FLAG_BACKUP_SEMANTICS); a link at `path` is flushed as itself, never
// followed.
ErrorCode flush_path(std::wstring_view path, bool folder) {
  const auto native = native_path(path);
  if (!native) return win32::kErrorBadPathName;
  const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | (folder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL);
  win32::KernelHandle h(::CreateFileW(native->c_str(), folder ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      flags, nullptr));
  if (!h) return last_error();
  return ::FlushFileBuffers(h.get()) ? kErrorSuccess : last_error();
}

// What a file system answers when it does not flush folders (or does not let this user ask):
// there is nothing to do then, and MOVEFILE_WRITE_THROUGH is all Windows offers for the names.
bool folder_flush_not_offered(ErrorCode e) {
  return e == ERROR_ACCESS_DENIED || e == ERROR_INVALID_FUNCTION || e == ERROR_NOT_SUPPORTED ||
         e == ERROR_INVALID_PARAMETER;
}

}  // namespace

std::optional<FileInfo> file_info(std::wstring_view path) {
  const auto native = native_path(path);
  if (path.empty() || !native) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(native->c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return win32::file_info_from(data.dwFileAttributes, win32::size_of(data.nFileSizeHigh, data.nFileSizeLow));
}

bool list_directory(std::wstring_view path, std::vector<DirEntry>& entries) {
  entries.clear();
  const auto native = native_path(path);
  if (path.empty() || !native) return false;
  WIN32_FIND_DATAW found{};
  FindHandle search{::FindFirstFileExW(all_in(*native).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH)};
  if (search.h == INVALID_HANDLE_VALUE) {
    // Only a drive root has no "." entry; empty, it answers "no file" rather than "no folder".
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) {
      const auto info = file_info(path);
      return info && info->is_directory;
    }
    return false;
  }
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back({std::wstring(name), win32::file_info_from(found.dwFileAttributes, win32::size_of(found.nFileSizeHigh, found.nFileSizeLow))});
  } while (::FindNextFileW(search.h, &found));
  return true;
}

ErrorCode move_file(std::wstring_view from, std::wstring_view to, unsigned flags) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::Move, from, to)) return fault;
  const auto src = native_path(from);
  const auto dst = native_path(to);
  if (!src || !dst) return win32::kErrorBadPathName;
  DWORD native_flags = 0;
  if ((flags & kMoveReplaceExisting) != 0) native_flags |= MOVEFILE_REPLACE_EXISTING;
  const bool write_through = (flags & kMoveWriteThrough) != 0;
  if (write_through) {
    native_flags |= MOVEFILE_WRITE_THROUGH;
    // MOVEFILE_WRITE_THROUGH does not flush a file's data for a move within one volume: the data
    // go first, so that no name survives a power cut that its file did not.
    const DWORD attributes = ::GetFileAttributesW(src->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      if (const ErrorCode e = sync_file(from)) return e;
    }
  }
  if (!::MoveFileExW(src->c_str(), dst->c_str(), native_flags)) return last_error();
  return write_through ? sync_directory(parent_of(to)) : kErrorSuccess;
}

ErrorCode sync_file(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::Sync, path)) return fault;
  return flush_path(path, /*folder=*/false);
}

ErrorCode sync_directory(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::Sync, path)) return fault;
  const ErrorCode e = flush_path(path, /*folder=*/true);
  return folder_flush_not_offered(e) ? kErrorSuccess : e;
}

ErrorCode free_disk_space(std::wstring_view folder, std::uint64_t& bytes) {
  bytes = 0;
  const auto native = native_path(folder);
  if (!native) return win32::kErrorBadPathName;
  ULARGE_INTEGER available{};
  if (!::GetDiskFreeSpaceExW(native->c_str(), &available, nullptr, nullptr)) return last_error();
  bytes = available.QuadPart;
  return kErrorSuccess;
}

ErrorCode copy_file(std::wstring_view from, std::wstring_view to, bool fail_if_exists) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::Copy, from, to)) return fault;
  const auto src = native_path(from);
  const auto dst = native_path(to);
  if (!src || !dst) return win32::kErrorBadPathName;
  return ::CopyFileW(src->c_str(), dst->c_str(), fail_if_exists ? TRUE : FALSE) ? kErrorSuccess : last_error();
}

ErrorCode delete_file(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::Delete, path)) return fault;
  const auto native = native_path(path);
  if (!native) return win32::kErrorBadPathName;
  return ::DeleteFileW(native->c_str()) ? kErrorSuccess : last_error();
}

ErrorCode remove_directory(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::RemoveDirectory, path)) return fault;
  const auto native = native_path(path);
  if (!native) return win32::kErrorBadPathName;
  // On a junction or a directory symbolic link this removes the link, never the target's contents.
  return ::RemoveDirectoryW(native->c_str()) ? kErrorSuccess : last_error();
}

ErrorCode create_directory(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::CreateDirectory, path)) return fault;
  const auto native = native_path(path);
  if (!native) return win32::kErrorBadPathName;
  return ::CreateDirectoryW(native->c_str(), nullptr) ? kErrorSuccess : last_error();
}

ErrorCode set_normal_attributes(std::wstring_view path) {
  if (const ErrorCode fault = injected_fs_fault(FsOp::SetAttributes, path)) return fault;
  const auto native = native_path(path);
  if (!native) return win32::kErrorBadPathName;
  return ::SetFileAttributesW(native->c_str(), FILE_ATTRIBUTE_NORMAL) ? kErrorSuccess : last_error();
}

std::wstring temp_dir() {
  std::wstring buffer(MAX_PATH + 1, L'\0');
  for (;;) {
    const DWORD n = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(n);  // n is the size needed, the NUL included
  }
  if (buffer.back() != L'\\') buffer.push_back(L'\\');
  return buffer;
}

}  // namespace corvane::os
