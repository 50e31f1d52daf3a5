#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "os/error.h"

// The journal of a replacement in progress: a file in the staging folder that names every client
// file being replaced and whether something was there before (and so has a ".crvnold" backup). It
// is on the disk before the first file is moved to its backup and is removed only once every new
// file and folder entry is on the disk, so whoever finds it knows that the client folder may hold a
// mix of two releases, and which files to put back. Putting back always restores the older
// release: a replacement that was cut short is undone, never finished.
namespace corvane {

// The journal and the lock file of the run, in the staging folder: names that are never a content
// hash, and that the clean-up of the staging folder leaves alone.
inline constexpr std::wstring_view kJournalName = L"replace.journal";
inline constexpr std::wstring_view kFolderLockName = L"run.lock";

// What was at a target before the replacement moved it to its backup, so that only that backup is
// ever put back: a backup left by an earlier run (whose deletion a power cut took back) is another
// file and is never taken for it.
struct Original {
  bool plain = false;        // a plain file, with this size and SHA-256 (64 lower-case hex digits);
  std::uint64_t size = 0;    // otherwise a folder, link, pipe or device, which is put back as it is
  std::string sha256;
};

struct JournalEntry {
  std::wstring target;        // full path of the client file
  bool had_original = false;  // something was at `target` and goes to target + ".crvnold"
  Original original;          // what that was (when had_original)
};

// What is at `path` now, for the journal: false when a plain file there cannot be read whole.
[[nodiscard]] bool describe_original(std::wstring_view path, Original& out);

std::wstring journal_path(std::wstring_view client_dir);

// Writes the journal for `entries` (all below `client_dir`) to a temporary file, flushes it, moves
// it into place and flushes the staging folder: when this returns 0 the journal survives a power cut.
[[nodiscard]] os::ErrorCode write_journal(std::wstring_view client_dir, const std::vector<JournalEntry>& entries);

enum class JournalState {
  None,       // no journal: no replacement was cut short
  Found,      // `entries` holds what the journal names
  Unreadable, // a journal is there but cannot be read (`error` says why); nothing may be touched
  Malformed,  // a journal that this program did not write whole (it writes it under another name
              // and moves it into place only once flushed), or not at all: anything but a plain
              // file, longer than any journal, or naming a place no manifest entry lands on (a
              // target of is_target_name). No replacement ever started from it.
};
JournalState read_journal(std::wstring_view client_dir, std::vector<JournalEntry>& entries, os::ErrorCode& error);

// Removes the journal and flushes the staging folder, so that its absence survives a power cut.
[[nodiscard]] os::ErrorCode remove_journal(std::wstring_view client_dir);

// Why putting back did not finish: the target (its path below the client folder, '/' between
// names), the failed call's code, and whether the target was in the way (busy) or the disk failed.
struct RestoreFailure {
  std::string file;
  os::ErrorCode code = os::kErrorSuccess;
  bool busy = false;
};

// Puts back the release the journal of `entries` was written for, last entry first: a target that
// had an original gets its backup back in one replacing move, when the backup is that original (a
// target whose backup is gone or another file was never moved aside, or is back already); any other
// target is deleted. A target below a folder that is a link is never touched: no replacement writes
// there. Then every folder involved is flushed and the journal removed. On false `failure` says what failed, the journal stays, and
// a later run tries again; what was put back so far stays put back.
[[nodiscard]] bool restore_from_journal(std::wstring_view client_dir, const std::vector<JournalEntry>& entries,
                                        RestoreFailure& failure);

// Flushes the folder of every target and each folder above it up to `client_dir` (folders made for
// new files have entries in their parents). On failure `failed` is the folder.
[[nodiscard]] os::ErrorCode sync_folders_of(std::wstring_view client_dir, const std::vector<std::wstring>& targets,
                                            std::wstring& failed);

// A target's path below `client_dir`, with '/' between names, in UTF-8: how messages name it.
std::string relative_name(std::wstring_view client_dir, std::wstring_view target);

}  // namespace corvane
