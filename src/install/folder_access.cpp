#include "install/folder_access.h"

#include <string>

#include "base/paths.h"
#include "os/file.h"
#include "os/folder_security.h"
#include "os/fs.h"
#include "os/platform.h"

namespace corvane {
namespace {

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// SHCreateDirectoryEx: 0 created, kErrorAlreadyExists for a folder that exists, kErrorFileExists
// for a file of that name, another error code when a level cannot be made.
os::ErrorCode create_directory_tree(std::wstring_view path) {
  if (const auto info = os::file_info(path)) {
    return info->is_directory ? os::kErrorAlreadyExists : os::kErrorFileExists;
  }
  const std::wstring parent = parent_dir(path);
  if (!parent.empty() && !path_exists(parent)) {
    if (const os::ErrorCode e = create_directory_tree(parent); e != os::kErrorSuccess) return e;
  }
  return os::create_directory(path);
}

}  // namespace

bool is_fully_qualified(std::wstring_view path) {
  if constexpr (os::kIsWindows) {
    if (path.size() >= 3 && path[1] == L':' && is_separator(path[2])) return true;
    return path.size() >= 2 && is_separator(path[0]) && is_separator(path[1]);
  } else {
    return !path.empty() && path[0] == L'/';
  }
}

bool ensure_directory(std::wstring_view path) {
  if (!is_fully_qualified(path)) return false;
  const os::ErrorCode e = create_directory_tree(path);
  return e == os::kErrorSuccess || e == os::kErrorAlreadyExists || e == os::kErrorFileExists;
}

bool ensure_client_folder(std::wstring_view path) {
  if (!is_fully_qualified(path)) return false;
  if (const auto info = os::file_info(path)) {
    // A folder that is already there becomes private when it is the user's own; another owner's
    // folder, or a link, stays as it is. A file of that name: the write test decides.
    if (info->is_directory && !info->is_link) (void)os::make_directory_private(path);
    return true;
  }
  const std::wstring parent = parent_dir(path);
  if (!parent.empty() && !path_exists(parent)) {
    const os::ErrorCode e = create_directory_tree(parent);
    if (e != os::kErrorSuccess && e != os::kErrorAlreadyExists) return false;
  }
  const os::ErrorCode e = os::create_private_directory(path);
  if (e == os::kErrorAlreadyExists) {
    // Made by someone else in between: the same rules as for a folder that was there.
    const auto info = os::file_info(path);
    if (info && info->is_directory && !info->is_link) (void)os::make_directory_private(path);
    return info.has_value();
  }
  return e == os::kErrorSuccess;
}

bool can_write_folder(std::wstring_view folder) {
  const std::wstring marker = join_path(folder, L".crvn_write_test");
  os::File file;
  // The marker is always a new file: whatever has its name (a marker left by an interrupted run,
  // or a link to a file elsewhere, which must never be written through) goes first, as itself.
  os::ErrorCode e = file.open(marker, os::OpenMode::CreateNew);
  if (e == os::kErrorFileExists && os::delete_file(marker) == os::kErrorSuccess) {
    e = file.open(marker, os::OpenMode::CreateNew);
  }
  if (e != os::kErrorSuccess) return false;
  file.close();
  return os::delete_file(marker) == os::kErrorSuccess;
}

}  // namespace corvane
