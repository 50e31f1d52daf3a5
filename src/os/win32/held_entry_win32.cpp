#include "os/held_entry.h"

#include <windows.h>
#include <winternl.h>

#include <utility>
#include <vector>

#include "os/fs_fault.h"
#include "os/platform.h"
#include "os/win32/win32_common.h"

// windows.h makes this name a macro for its A/W functions, which would rename FsOp's member.
#undef RemoveDirectory

namespace corvane::os {
namespace {

using win32::last_error;

HANDLE handle_of(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Enough to read a folder, clear attributes and delete; others may go on reading, writing and
// deleting meanwhile, as with DeleteFile.
constexpr DWORD kAccess = DELETE | SYNCHRONIZE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// NtCreateFile, which opens a name relative to a folder handle (the Win32 calls take only whole
// paths), and the translation of its status. ntdll.dll is in every process before any program
// code runs, so it is looked up rather than imported.
using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);

struct NtCalls {
  NtCreateFileFn create = nullptr;
  RtlNtStatusToDosErrorFn to_error = nullptr;
};

const NtCalls& nt_calls() {
  static const NtCalls calls = [] {
    NtCalls c;
    if (const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
      c.create = reinterpret_cast<NtCreateFileFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtCreateFile")));
      c.to_error = reinterpret_cast<RtlNtStatusToDosErrorFn>(
          reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    }
    return c;
  }();
  return calls;
}

constexpr ULONG kFileOpen = 1;                          // FILE_OPEN
constexpr ULONG kSynchronousIoNonalert = 0x00000020;    // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kOpenForBackupIntent = 0x00004000;      // FILE_OPEN_FOR_BACKUP_INTENT
constexpr ULONG kOpenReparsePoint = 0x00200000;         // FILE_OPEN_REPARSE_POINT
constexpr ULONG kObjCaseInsensitive = 0x00000040;       // OBJ_CASE_INSENSITIVE

// What the handle holds, and its attributes.
bool read_info(HANDLE h, FileInfo& info, DWORD& attributes) {
  BY_HANDLE_FILE_INFORMATION data{};
  if (!::GetFileInformationByHandle(h, &data)) return false;
  attributes = data.dwFileAttributes;
  info = win32::file_info_from(attributes, win32::size_of(data.nFileSizeHigh, data.nFileSizeLow));
  return true;
}

}  // namespace

bool HeldEntry::is_open() const { return handle_ != -1; }

void HeldEntry::close() {
  if (handle_ != -1) ::CloseHandle(handle_of(std::exchange(handle_, -1)));
}

ErrorCode HeldEntry::open(std::wstring_view path) {
  close();
  const auto native = win32::native_path(path);
  if (!native) return win32::kErrorBadPathName;
  if (native->empty()) return kErrorPathNotFound;
  // The reparse point itself, never what it leads to; a folder needs backup semantics to open.
  const HANDLE h = ::CreateFileW(native->c_str(), kAccess, kShare, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return last_error();
  DWORD attributes = 0;
  if (!read_info(h, info_, attributes)) {
    const ErrorCode e = last_error();
    ::CloseHandle(h);
    return e;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  path_ = std::wstring(path);
  return kErrorSuccess;
}

ErrorCode HeldEntry::open_child(std::wstring_view name, HeldEntry& child) const {
  child.close();
  if (handle_ == -1 || !info_.is_directory || info_.is_link) return kErrorInvalidHandle;
  if (name.empty() || name == L"." || name == L".." || name.find_first_of(L"\\/") != std::wstring_view::npos ||
      name.find(L'\0') != std::wstring_view::npos || name.size() > 32767) {
    return kErrorInvalidParameter;
  }
  const NtCalls& nt = nt_calls();
  if (nt.create == nullptr || nt.to_error == nullptr) return kErrorGenFailure;
  std::wstring buffer(name);
  UNICODE_STRING object_name{};
  object_name.Buffer = buffer.data();
  object_name.Length = static_cast<USHORT>(buffer.size() * sizeof(wchar_t));
  object_name.MaximumLength = object_name.Length;
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  // The name is looked up in the held folder only, letter case ignored as the Win32 calls do.
  attributes.RootDirectory = handle_of(handle_);
  attributes.ObjectName = &object_name;
  attributes.Attributes = kObjCaseInsensitive;
  IO_STATUS_BLOCK io{};
  HANDLE h = nullptr;
  const NTSTATUS status = nt.create(&h, kAccess, &attributes, &io, nullptr, 0, kShare, kFileOpen,
                                    kSynchronousIoNonalert | kOpenForBackupIntent | kOpenReparsePoint, nullptr, 0);
  if (status < 0) {
    const ULONG e = nt.to_error(status);
    return e == ERROR_SUCCESS ? kErrorGenFailure : static_cast<ErrorCode>(e);
  }
  DWORD attrs = 0;
  if (!read_info(h, child.info_, attrs)) {
    const ErrorCode e = last_error();
    ::CloseHandle(h);
    return e;
  }
  child.handle_ = reinterpret_cast<std::intptr_t>(h);
  child.path_ = path_ + kSep + std::wstring(name);
  return kErrorSuccess;
}

bool HeldEntry::list(std::vector<DirEntry>& entries) const {
  entries.clear();
  if (handle_ == -1 || !info_.is_directory || info_.is_link) return false;
  std::vector<std::uint64_t> buffer(64 * 1024 / sizeof(std::uint64_t));
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!::GetFileInformationByHandleEx(handle_of(handle_), kind, buffer.data(),
                                        static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t)))) {
      return ::GetLastError() == ERROR_NO_MORE_FILES;
    }
    kind = FileIdBothDirectoryInfo;
    const auto* at = reinterpret_cast<const BYTE*>(buffer.data());
    for (;;) {
      const auto* item = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
      const std::wstring_view item_name(item->FileName, item->FileNameLength / sizeof(wchar_t));
      if (item_name != L"." && item_name != L"..") {
        entries.push_back({std::wstring(item_name),
                           win32::file_info_from(item->FileAttributes, static_cast<std::uint64_t>(item->EndOfFile.QuadPart))});
      }
      if (item->NextEntryOffset == 0) break;
      at += item->NextEntryOffset;
    }
  }
}

ErrorCode HeldEntry::remove() {
  if (handle_ == -1) return kErrorInvalidHandle;
  const FsOp op = info_.is_directory ? FsOp::RemoveDirectory : FsOp::Delete;
  if (const ErrorCode fault = injected_fs_fault(op, path_)) {
    close();
    return fault;
  }
  const HANDLE h = handle_of(handle_);
  ErrorCode result = kErrorSuccess;
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) {
    result = last_error();
  } else {
    // Read-only refuses the delete; hidden and system go with it, as SetFileAttributes(NORMAL).
    constexpr DWORD kBlocking = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if ((basic.FileAttributes & kBlocking) != 0) {
      FILE_BASIC_INFO cleared{};
      cleared.FileAttributes = basic.FileAttributes & ~kBlocking;
      if (cleared.FileAttributes == 0) cleared.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      if (!::SetFileInformationByHandle(h, FileBasicInfo, &cleared, sizeof cleared)) result = last_error();
    }
    // The held object itself goes when the handle closes: a reparse point as a link, a folder only
    // when it is empty.
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (result == kErrorSuccess && !::SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition)) {
      result = last_error();
    }
  }
  close();
  return result;
}

}  // namespace corvane::os
