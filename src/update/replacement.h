#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "os/error.h"
#include "update/holding_processes.h"
#include "update/manifest.h"
#include "update/update_run.h"

// Puts verified downloads in place in the client folder: every replaced file is first moved aside
// to its ".crvnold" backup, and a failure moves the backups back. Runs on the thread of the
// update run while it holds the update lock.
namespace corvane {

inline constexpr std::wstring_view kOldCopySuffix = L".crvnold";

// Where a manifest path lands: client_dir + separator + path, with "bin/uninstall.exe" placed at
// the top as "uninstall.exe" and every '/' turned into the platform separator.
std::wstring target_path_for(std::wstring_view client_dir, std::string_view path);

// A path below the client folder ('/' between names) where a manifest entry may land: the target
// of a path that is_allowed_path accepts ("uninstall.exe" at the top included). Nothing else there
// (launcher.json, the staging folder, the user's own files) is ever replaced or put back.
bool is_target_name(std::string_view relative);

// kErrorReparsePointEncountered when a folder between `client_dir` and `target` is a link (or
// junction): what is written below it would land wherever the link leads.
[[nodiscard]] os::ErrorCode linked_folder_on_the_way(std::wstring_view client_dir, std::wstring_view target);

// The manifest's files cannot all be in place at once: two entries land on one target with
// different contents, or one entry's target is a folder on the way to another's. Targets are
// compared as Windows compares file names (os::file_name_key: ordinal, case ignored) on every
// platform, so "bin/A.dll" and "bin/a.dll" are one target everywhere. Such a manifest would fail or
// update again on every run, or leave one content for two entries.
bool has_conflicting_targets(std::wstring_view client_dir, const std::vector<ManifestFile>& files);

// Creates the folders above `path`, outermost first; existing folders and failures are ignored.
void create_parent_dirs(std::wstring_view path);

// Replaces the `changed` entries' files in order, as one transaction. `staged[i]` is where entry i's
// verified content lies (its download's raw_path); an entry whose sha256 an earlier entry already
// brought receives a copy of that earlier target instead. Programs outside the client folder that
// have a target loaded are closed first (waits of `close_wait_ms`).
// Before the first file is moved to its backup, the journal (update/replace_journal.h) is on the
// disk; every file put in place is flushed before its name is, the folders after the last one,
// and only then does the journal go: when this returns true the newer release is whole on the disk.
// Whatever is at a target (a link, a pipe, a folder of an older release) is moved to the backup as
// it is, never opened; so is a file where a target needs a folder, when that file's place is itself
// one a manifest may name. A target below a folder that is a link is not written at all (status 6,
// kErrorReparsePointEncountered). Backups of earlier runs in the way are deleted, durably, before
// the journal is written.
// On success `replaced_self` tells whether a replaced target equals `self_path`. On failure
// `result` holds status 5 (a target could not be moved to its backup, or an older backup of it is
// in the way) or 6 (the new content could not be put in place or flushed, or the journal not
// written) with the entry's path (or the journal's or a folder's path below the client folder) and
// the error code, the console line has been printed, the older release has been put back from the
// journal (when a file cannot be put back, the journal stays for the next run and a line says so),
// and the staging folder below `client_dir` has been emptied and removed. Anything thrown after
// the journal was written (memory running out) puts the older release back the same way and is
// then thrown on.
[[nodiscard]] bool apply_files(std::wstring_view client_dir, const std::vector<ManifestFile>& changed,
                               const std::vector<std::wstring>& staged, std::wstring_view self_path,
                               UpdateResult& result, bool& replaced_self,
                               std::uint32_t close_wait_ms = kCloseWaitMs);

}  // namespace corvane
