#include "update/replacement.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "base/paths.h"
#include "os/fs.h"
#include "os/platform.h"
#include "os/text.h"
#include "update/cleanup.h"
#include "update/replace_journal.h"

namespace corvane {
namespace {

constexpr std::string_view kUninstallerManifestPath = "bin/uninstall.exe";
constexpr std::wstring_view kUninstallerName = L"uninstall.exe";

// The same file system object: Windows folders ignore letter case, Linux folders do not.
bool same_target(std::wstring_view a, std::wstring_view b) {
  return os::kIsWindows ? paths_equal(a, b) : a == b;
}

// The key under which two targets are one file on Windows: its comparison of file names,
// ordinal with case ignored, on every platform, so that one manifest installs the same tree
// everywhere ("bin/Фон.dll" and "bin/фон.dll" are one file).
std::u16string target_key(std::wstring_view target) { return os::file_name_key(target); }

// Puts the older release back from the journal after a failed replacement. When that cannot be
// done whole (a file held by another program), the journal stays and says what is left to put back:
// the next run does it before anything else.
void undo_replacement(std::wstring_view client_dir, const std::vector<JournalEntry>& journal) {
  RestoreFailure failure;
  if (!restore_from_journal(client_dir, journal, failure)) {
    std::printf("[!] Obnovlenie: ne udalos vernut %s (kod %lu), vosstanovlenie pri sleduyushchem zapuske.\n",
                failure.file.c_str(), static_cast<unsigned long>(failure.code));
  }
}

// Fills `result` for a failed entry, prints `format` with its path and code, and discards the
// staging folder.
bool report_failure(std::uint32_t status, const char* format, const std::string& file, os::ErrorCode code,
                    std::wstring_view client_dir, UpdateResult& result) {
  result.status = status;
  result.file = file;
  result.error_code = code;
  std::printf(format, file.c_str(), static_cast<unsigned long>(code));
  prune_staging(staging_dir_for(client_dir), {});
  return false;
}

constexpr const char* kBusyLine = "[!] Obnovlenie: fayl %s zanyat (kod %lu), otkat.\n";
constexpr const char* kWriteLine = "[!] Obnovlenie: ne udalos zapisat %s (kod %lu), otkat.\n";

// One entry's part of a replacement, planned before anything is changed.
struct Step {
  std::size_t entry = 0;
  std::wstring target;
  bool existed = false;          // something is at the target and goes to its backup first
  std::wstring copy_from;        // an earlier target with this content (copied), or empty (moved in)
  bool aside_only = false;       // a file where the entry needs a folder: only moved to its backup
};

// The files in the place of folders on the way to `target` (a file of an older release where this
// one has a folder), outermost first, whose places a manifest may name; empty when there are none.
std::vector<std::wstring> files_in_the_way(std::wstring_view client_dir, std::wstring_view target) {
  std::vector<std::wstring> found;
  for (std::size_t sep = target.find(os::kSep, client_dir.size() + 1); sep != std::wstring_view::npos;
       sep = target.find(os::kSep, sep + 1)) {
    const std::wstring folder(target.substr(0, sep));
    const auto info = os::file_info(folder);
    if (!info) break;
    if (info->is_directory && !info->is_link) continue;
    if (is_target_name(relative_name(client_dir, folder))) found.push_back(folder);
    break;
  }
  return found;
}

}  // namespace

os::ErrorCode linked_folder_on_the_way(std::wstring_view client_dir, std::wstring_view target) {
  for (std::size_t sep = target.find(os::kSep, client_dir.size() + 1); sep != std::wstring_view::npos;
       sep = target.find(os::kSep, sep + 1)) {
    const auto info = os::file_info(target.substr(0, sep));
    if (!info) break;
    if (info->is_link) return os::kErrorReparsePointEncountered;
  }
  return os::kErrorSuccess;
}

bool is_target_name(std::string_view relative) {
  return relative == "uninstall.exe" || is_allowed_path(relative);
}

std::wstring target_path_for(std::wstring_view client_dir, std::string_view path) {
  std::wstring target(client_dir);
  target += os::kSep;
  if (path == kUninstallerManifestPath) {
    target += kUninstallerName;
  } else {
    target += os::from_utf8(path);
  }
  std::replace(target.begin(), target.end(), L'/', os::kSep);
  return target;
}

bool has_conflicting_targets(std::wstring_view client_dir, const std::vector<ManifestFile>& files) {
  std::unordered_map<std::u16string, std::string_view> content_of;
  for (const ManifestFile& entry : files) {
    const auto [it, inserted] =
        content_of.try_emplace(target_key(target_path_for(client_dir, entry.path)), entry.sha256);
    if (!inserted && it->second != entry.sha256) return true;
  }
  const auto sep_unit = static_cast<char16_t>(os::kSep);
  const std::size_t first = target_key(client_dir).size() + 1;
  for (const auto& [key, content] : content_of) {
    for (std::size_t sep = key.find(sep_unit, first); sep != std::u16string::npos;
         sep = key.find(sep_unit, sep + 1)) {
      if (content_of.contains(key.substr(0, sep))) return true;
    }
  }
  return false;
}

void create_parent_dirs(std::wstring_view path) {
  // Windows takes '/' for a separator as well (a tool's --out may be written so); on Linux '\' is
  // an ordinary character of a name.
  const auto separates = [](wchar_t c) { return c == os::kSep || (os::kIsWindows && c == L'/'); };
  // Skip the root: "C:\" on Windows, "/" on Linux.
  const std::size_t first = os::kIsWindows ? 3 : 1;
  for (std::size_t i = first; i < path.size(); ++i) {
    if (separates(path[i])) (void)os::create_directory(path.substr(0, i));
  }
}

bool apply_files(std::wstring_view client_dir, const std::vector<ManifestFile>& changed,
                 const std::vector<std::wstring>& staged, std::wstring_view self_path,
                 UpdateResult& result, bool& replaced_self, std::uint32_t close_wait_ms) {
  replaced_self = false;
  std::vector<std::wstring> targets;
  targets.reserve(changed.size());
  for (const ManifestFile& entry : changed) targets.push_back(target_path_for(client_dir, entry.path));

  close_holding_processes(client_dir, targets, close_wait_ms);

  // The plan, made before anything changes: what each entry does, and the journal that names every
  // target once with what it held.
  std::vector<Step> steps;
  std::vector<JournalEntry> journal;
  std::unordered_map<std::string, std::wstring> first_target_of_content;
  for (std::size_t i = 0; i < changed.size(); ++i) {
    const ManifestFile& entry = changed[i];
    const std::wstring& target = targets[i];
    const auto earlier = first_target_of_content.find(entry.sha256);
    // The same path listed twice with the same content: it is in place after its first entry, and
    // copying a file onto itself would empty it.
    if (earlier != first_target_of_content.end() && same_target(earlier->second, target)) continue;
    if (const os::ErrorCode e = linked_folder_on_the_way(client_dir, target)) {
      return report_failure(kStatusWriteFailed, kWriteLine, entry.path, e, client_dir, result);
    }
    // The same path listed twice with other content: its original is in the backup already, and
    // moving this run's own file over that backup would lose the original.
    const auto in_journal = [&](const std::wstring& path) {
      return std::any_of(journal.begin(), journal.end(), [&](const JournalEntry& j) { return same_target(j.target, path); });
    };
    // What is there goes to its backup as it was, and the journal says what that was.
    const auto journal_original = [&](const std::wstring& path, Step& step) {
      JournalEntry record{path, step.existed, {}};
      if (step.existed && !describe_original(path, record.original)) return false;
      journal.push_back(std::move(record));
      return true;
    };
    for (const std::wstring& blocker : files_in_the_way(client_dir, target)) {
      if (in_journal(blocker)) continue;
      Step aside{i, blocker, true, {}, true};
      if (!journal_original(blocker, aside)) {
        return report_failure(kStatusFileBusy, kBusyLine, entry.path, os::kErrorAccessDenied, client_dir, result);
      }
      steps.push_back(std::move(aside));
    }
    const bool replaced_before = in_journal(target);
    Step step{i, target, !replaced_before && os::file_info(target).has_value(), {}};
    if (earlier != first_target_of_content.end()) step.copy_from = earlier->second;
    if (!replaced_before && !journal_original(target, step)) {
      return report_failure(kStatusFileBusy, kBusyLine, entry.path, os::kErrorAccessDenied, client_dir, result);
    }
    first_target_of_content.emplace(entry.sha256, target);
    steps.push_back(std::move(step));
  }
  // A backup left by an earlier run (one that could not be deleted then) would be taken for this
  // run's own by whoever puts the older release back: it goes first, or the file counts as busy.
  // Its deletion is on the disk before the journal is: a power cut must not bring it back to be
  // taken for the original.
  std::vector<std::wstring> stale_backups;
  for (const Step& step : steps) {
    if (!step.existed) continue;
    const std::wstring backup = step.target + std::wstring(kOldCopySuffix);
    if (const auto stale = os::file_info(backup)) {
      const os::ErrorCode e = stale->is_directory && !stale->is_link ? os::kErrorAccessDenied : os::delete_file(backup);
      if (e != os::kErrorSuccess) {
        return report_failure(kStatusFileBusy, kBusyLine, changed[step.entry].path, e, client_dir, result);
      }
      stale_backups.push_back(backup);
    }
  }
  if (std::wstring folder; !stale_backups.empty()) {
    if (const os::ErrorCode e = sync_folders_of(client_dir, stale_backups, folder)) {
      return report_failure(kStatusWriteFailed, kWriteLine, relative_name(client_dir, folder), e, client_dir, result);
    }
  }
  if (const os::ErrorCode e = write_journal(client_dir, journal)) {
    return report_failure(kStatusWriteFailed, kWriteLine, relative_name(client_dir, journal_path(client_dir)), e,
                          client_dir, result);
  }

  // From here on the journal speaks for the client folder: a failure, or anything thrown (memory
  // running out), puts the older release back from it before the run goes on.
  const auto failed = [&](std::uint32_t status, const char* format, const std::string& file, os::ErrorCode code) {
    result.status = status;
    result.file = file;
    result.error_code = code;
    std::printf(format, file.c_str(), static_cast<unsigned long>(code));
    undo_replacement(client_dir, journal);
    // (after the journal went, so that the folder can go too)
    prune_staging(staging_dir_for(client_dir), {});
    return false;
  };
  try {
    for (const Step& step : steps) {
      const ManifestFile& entry = changed[step.entry];
      create_parent_dirs(step.target);
      if (step.existed) {
        const std::wstring backup = step.target + std::wstring(kOldCopySuffix);
        if (const os::ErrorCode e = os::move_file(step.target, backup, os::kMoveReplaceExisting)) {
          return failed(kStatusFileBusy, kBusyLine, entry.path, e);
        }
      }
      if (step.aside_only) continue;
      // Every file is on the disk before its name is: a staged file is flushed before it is moved
      // in, a copy right after it is made.
      os::ErrorCode e = os::kErrorSuccess;
      if (!step.copy_from.empty()) {
        e = os::copy_file(step.copy_from, step.target, false);
        if (e == os::kErrorSuccess) e = os::sync_file(step.target);
      } else {
        const std::wstring_view source = step.entry < staged.size() ? std::wstring_view(staged[step.entry])
                                                                    : std::wstring_view();
        e = os::sync_file(source);
        if (e == os::kErrorSuccess) e = os::move_file(source, step.target, os::kMoveReplaceExisting);
      }
      if (e != os::kErrorSuccess) return failed(kStatusWriteFailed, kWriteLine, entry.path, e);
      if (paths_equal(step.target, self_path)) replaced_self = true;
    }
    // The new names (and the backups' names beside them) reach the disk, folder by folder; then the
    // journal goes, and the replacement is whole.
    std::wstring folder;
    if (const os::ErrorCode e = sync_folders_of(client_dir, targets, folder)) {
      return failed(kStatusWriteFailed, kWriteLine, relative_name(client_dir, folder), e);
    }
    if (const os::ErrorCode e = remove_journal(client_dir)) {
      // Whether its removal reached the disk is not known: it is written again before the older
      // release is put back from it, and without it the newer release, which is whole on the disk,
      // stays.
      const std::string name = relative_name(client_dir, journal_path(client_dir));
      if (os::file_info(journal_path(client_dir)) || write_journal(client_dir, journal) == os::kErrorSuccess) {
        return failed(kStatusWriteFailed, kWriteLine, name, e);
      }
      return report_failure(kStatusWriteFailed, kWriteLine, name, e, client_dir, result);
    }
  } catch (...) {
    try {
      undo_replacement(client_dir, journal);
    } catch (...) {
      // Not even that could be done: the journal stays, and the next run puts the files back.
    }
    throw;
  }
  return true;
}

}  // namespace corvane
