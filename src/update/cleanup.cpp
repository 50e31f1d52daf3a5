#include "update/cleanup.h"

#include <vector>

#include "base/paths.h"
#include "os/fs.h"
#include "os/text.h"
#include "update/replacement.h"

namespace corvane {
namespace {

// A backup whose file is missing is the old content of a replacement that was interrupted between
// moving the file aside and moving the new one in: it is put back, so that the client folder
// never stays without that file. Any other backup is deleted.
void discard_old_copy(const std::wstring& backup) {
  const std::wstring target = backup.substr(0, backup.size() - kOldCopySuffix.size());
  if (!os::file_info(target)) {
    (void)os::move_file(backup, target, os::kMoveWriteThrough);
    return;
  }
  (void)os::delete_file(backup);
}

void delete_old_copies_in(const std::wstring& folder, bool descend) {
  std::vector<os::DirEntry> entries;
  if (!os::list_directory(folder, entries)) return;
  for (const os::DirEntry& entry : entries) {
    const std::wstring path = join_path(folder, entry.name);
    if (!entry.info.is_directory) {
      if (is_old_copy_name(entry.name)) discard_old_copy(path);
    } else if (descend && !entry.info.is_link) {
      // A link may lead out of the client folder; backups are only ever made inside it.
      delete_old_copies_in(path, true);
    }
  }
}

}  // namespace

std::wstring staging_dir_for(std::wstring_view client_dir) { return join_path(client_dir, L"update"); }

void delete_old_copies(std::wstring_view client_dir) {
  delete_old_copies_in(std::wstring(client_dir), false);
  delete_old_copies_in(join_path(client_dir, L"bin"), true);
  delete_old_copies_in(join_path(join_path(client_dir, L"data"), L"ngtables"), true);
}

bool is_old_copy_name(std::wstring_view name) {
  return name.size() > kOldCopySuffix.size() &&
         os::equal_ignoring_case(name.substr(name.size() - kOldCopySuffix.size()), kOldCopySuffix);
}

void prune_staging(std::wstring_view staging_dir, const std::set<std::wstring>& keep) {
  std::vector<os::DirEntry> entries;
  if (os::list_directory(staging_dir, entries)) {
    for (const os::DirEntry& entry : entries) {
      if (entry.info.is_directory) continue;
      const std::wstring key = entry.name.substr(0, entry.name.find(L'.'));
      if (!keep.contains(key)) (void)os::delete_file(join_path(staging_dir, entry.name));
    }
  }
  if (keep.empty()) (void)os::remove_directory(staging_dir);
}

}  // namespace corvane
