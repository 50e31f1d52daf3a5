#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "os/error.h"

// File-system calls of the platform, one system call each, with Windows semantics: a link (a
// reparse point) is reported as such and never followed by the calls that remove things. Every
// mutating call returns a Windows error code, 0 on success.
namespace corvane::os {

struct FileInfo {
  bool is_directory = false;  // a folder, or a link that leads to a folder
  bool is_link = false;       // a symbolic link / reparse point; never followed by delete calls
  // A plain file: not a folder, link, device, pipe or socket (Windows: no FILE_ATTRIBUTE_DIRECTORY,
  // FILE_ATTRIBUTE_REPARSE_POINT or FILE_ATTRIBUTE_DEVICE). Only such a file holds file content.
  bool is_regular = false;
  bool read_only = false;
  std::uint64_t size = 0;     // 0 for folders
  // A folder (not a link) where a file system, or another mount of one, is mounted: entering it
  // leaves the file system of the folder that holds it. Linux only; Windows reports a mounted
  // folder as a reparse point (is_link), so this stays false there.
  bool is_mount_point = false;
};

struct DirEntry {
  std::wstring name;
  FileInfo info;
};

// GetFileAttributesEx: information about the object at `path` itself (a link is not followed
// for is_link; is_directory tells what it leads to). Empty when nothing is there.
std::optional<FileInfo> file_info(std::wstring_view path);

// FindFirstFile/FindNextFile over "path\*" without "." and "..". False when the folder cannot be
// enumerated; the order is the file system's.
[[nodiscard]] bool list_directory(std::wstring_view path, std::vector<DirEntry>& entries);

enum MoveFlags : unsigned {
  kMoveReplaceExisting = 1,  // MOVEFILE_REPLACE_EXISTING
  // Durable before the call returns: a plain file's data are flushed before the move (sync_file),
  // and its new folder entry after it (sync_directory). Windows also passes MOVEFILE_WRITE_THROUGH,
  // which alone does not flush a file's data for a move within one volume. A failed flush fails the
  // call; when the one after the move fails, the move has happened but may not be on the disk.
  kMoveWriteThrough = 8,
};
// MoveFileEx on one volume (no copying between volumes).
[[nodiscard]] ErrorCode move_file(std::wstring_view from, std::wstring_view to, unsigned flags);
// FlushFileBuffers of the plain file at `path` (fsync on Linux): its data and length are on the
// disk when the call returns. A link at `path` itself is refused.
[[nodiscard]] ErrorCode sync_file(std::wstring_view path);
// The entries of the folder at `path` (names made, moved or removed in it) reach the disk: fsync of
// the folder on Linux; on Windows FlushFileBuffers of the folder where the file system allows it
// (a file system that refuses to flush a folder has nothing for it to do: success).
[[nodiscard]] ErrorCode sync_directory(std::wstring_view path);
// The bytes this user may still write on the volume that holds `folder` (statvfs f_bavail,
// GetDiskFreeSpaceEx's bytes available to the caller).
[[nodiscard]] ErrorCode free_disk_space(std::wstring_view folder, std::uint64_t& bytes);
// CopyFile: contents and permissions; fails with kErrorFileExists when `fail_if_exists` and the
// target exists.
[[nodiscard]] ErrorCode copy_file(std::wstring_view from, std::wstring_view to, bool fail_if_exists);
// DeleteFile: a file or a link; a folder gives kErrorAccessDenied.
[[nodiscard]] ErrorCode delete_file(std::wstring_view path);
// RemoveDirectory: an empty folder, or a link to a folder (the link goes, never its target).
[[nodiscard]] ErrorCode remove_directory(std::wstring_view path);
// CreateDirectory of one level; kErrorAlreadyExists when something of that name exists.
[[nodiscard]] ErrorCode create_directory(std::wstring_view path);
// SetFileAttributes(FILE_ATTRIBUTE_NORMAL): clears read-only (and hidden/system where they exist).
// On Linux a folder gets read, write and search permission for its owner, so that its entries can
// be listed and removed as on Windows, where a folder's attributes never stop that. A link is left
// as it is.
[[nodiscard]] ErrorCode set_normal_attributes(std::wstring_view path);

// Reads a whole file into `bytes`. False when the file cannot be opened or read.
[[nodiscard]] bool read_file(std::wstring_view path, std::string& bytes);
// The same with the reason: kErrorFileNotFound or kErrorPathNotFound when nothing is there, any
// other code when something is there that cannot be read (no permission, a sharing violation, an
// I/O error, a folder).
[[nodiscard]] ErrorCode read_whole_file(std::wstring_view path, std::string& bytes);
// Reads the whole of a plain file that the engine keeps in the client folder (a journal, a resume
// record, launcher.json): opened as OpenTarget::RegularFile, so never through a link at `path` and
// never waiting on a pipe or device (kErrorReparsePointEncountered for a link, kErrorAccessDenied
// for anything but a plain file), and never more than `limit` bytes (kErrorFileTooLarge, `bytes`
// empty). kErrorFileNotFound or kErrorPathNotFound when nothing is there.
[[nodiscard]] ErrorCode read_plain_file(std::wstring_view path, std::size_t limit, std::string& bytes);
// Creates or truncates `path` and writes `bytes` with one write. A short write deletes the file.
[[nodiscard]] ErrorCode write_file(std::wstring_view path, std::string_view bytes);
// Writes `bytes` to path + ".tmp", flushes it and moves it over `path` (replace existing,
// write-through), so readers see the old file or the new one, never a part, also after a power
// cut. A failed write or flush removes the temporary file; a failed move leaves it.
[[nodiscard]] ErrorCode write_file_atomically(std::wstring_view path, std::string_view bytes);

// The temporary folder, ending with the separator ($TMPDIR or /tmp/ on Linux, GetTempPath on
// Windows).
std::wstring temp_dir();

// Test seam: faults the kernel does not produce on demand (a file in use, a full disk). When a
// hook is installed, every mutating call above asks it first; a nonzero answer makes the call
// fail with that code and touch nothing. Install and remove hooks only while no other thread
// uses the file system calls.
// OpenForWrite is asked by File::open for every mode that writes. Sync is asked by every call that
// flushes something to the disk, with the file or folder it flushes.
enum class FsOp { Move, Copy, Delete, RemoveDirectory, CreateDirectory, Write, SetAttributes, OpenForWrite, Sync };
using FsFaultHook = std::function<ErrorCode(FsOp op, std::wstring_view path, std::wstring_view other)>;
void set_fs_fault_hook(FsFaultHook hook);

}  // namespace corvane::os
