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
// (its backups are what the older release is put back from). Each folder where a backup went is
// flushed, so that no power cut brings a deleted backup back. Folders are never deleted, and links
// to folders (also in the place of "bin", "data" or "data/ngtables") are not followed. A backup that
// cannot be deleted (still in use) stays for a later run. A backup whose file is missing (a
// replacement cut short by a crash) is moved back into its place instead. A backup that is a folder
// with a file at its target (a folder of an older release where the newer has a file) may hold the
// user's files: it is renamed to kept_folder_name of its target and named on the console.
void delete_old_copies(std::wstring_view client_dir);

// Where a folder that a file replaced is kept: target + ".kept", or with a number after it (".kept2",
// ".kept3", ...) when that name is taken. Empty when a hundred are taken.
std::wstring kept_folder_name(std::wstring_view target);

// The name is longer than ".crvnold" and ends with it, letter case ignored.
bool is_old_copy_name(std::wstring_view name);

// A name that the engine gives to what it keeps in the staging folder, which prune_staging may
// therefore delete: a staged content ("<64 lower-case hex digits>" and one of the suffixes of staged
// files) and the journal's temporary file. The journal and the run's lock are engine names too, but
// only their owners remove them.
bool is_staging_name(std::wstring_view name);

// Deletes every entry of the staging folder with a staging name (is_staging_name) whose key (its
// name up to the first '.') is not in `keep`, and every link, pipe or device with a staging name
// whatever its key; anything else there (subfolders, the run's lock file, the replacement's journal,
// names the engine never makes) stays. With an empty `keep` the folder itself is removed when it is
// empty. A link in the staging folder's place is removed (as a link) and what it leads to is never
// listed.
void prune_staging(std::wstring_view staging_dir, const std::set<std::wstring>& keep);

// Makes the staging folder a folder of its own: a link in its place is removed first (as a link),
// an existing folder is kept. Returns the error code when no such folder is there afterwards.
[[nodiscard]] os::ErrorCode make_staging_dir(std::wstring_view staging_dir);

}  // namespace corvane
