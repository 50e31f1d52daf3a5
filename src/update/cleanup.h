#pragma once
#include <set>
#include <string>
#include <string_view>

#include "os/error.h"

// What the update engine removes on its own: ".crvnold" backups of earlier runs and the contents
// of the staging folder. Nothing else in the client folder is ever deleted. Failures are ignored.
namespace corvane {

// The staging folder of a client folder: client_dir + separator + "update".
std::wstring staging_dir_for(std::wstring_view client_dir);

// Deletes the backup files (is_old_copy_name) at the top of `client_dir` and anywhere below its
// "bin" and "data/ngtables" folders; nothing at all while the journal of a replacement is there
// (its backups are what the older release is put back from). Folders are never deleted, and links to folders (also in the
// place of "bin", "data" or "data/ngtables") are not followed. A backup that cannot be deleted
// (still in use) stays for a later run. A backup whose file is missing (a replacement cut short by
// a crash) is moved back into its place instead.
void delete_old_copies(std::wstring_view client_dir);

// The name is longer than ".crvnold" and ends with it, letter case ignored.
bool is_old_copy_name(std::wstring_view name);

// Deletes every file of the staging folder whose key (its name up to the first '.') is not in
// `keep`, and every link, pipe or device whatever its name; subfolders, the run's lock file and
// the replacement's journal stay. With an empty `keep`
// the folder itself is removed when it is empty. A link in the staging folder's place is removed
// (as a link) and what it leads to is never listed.
void prune_staging(std::wstring_view staging_dir, const std::set<std::wstring>& keep);

// Makes the staging folder a folder of its own: a link in its place is removed first (as a link),
// an existing folder is kept. Returns the error code when no such folder is there afterwards.
[[nodiscard]] os::ErrorCode make_staging_dir(std::wstring_view staging_dir);

}  // namespace corvane
