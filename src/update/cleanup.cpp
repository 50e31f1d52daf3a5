#include "update/cleanup.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "base/paths.h"
#include "os/fs.h"
#include "os/text.h"
#include "update/replace_journal.h"
#include "update/replacement.h"

namespace corvane {
namespace {

// The suffixes of the files the engine stages under a content's SHA-256: its download, unpacked or
// packed, the download's resume record, and a file built from its chunks with its record.
constexpr std::wstring_view kStagedSuffixes[] = {L".raw", L".lzms", L".parts", L".delta", L".dparts"};

// A backup whose file is missing is the old content of a replacement that was interrupted between
// moving the file aside and moving the new one in: it is put back, so that the client folder
// never stays without that file. Any other backup is deleted. True when the folder changed.
bool discard_old_copy(const std::wstring& backup) {
  const std::wstring target = backup.substr(0, backup.size() - kOldCopySuffix.size());
  if (!os::file_info(target)) {
    (void)os::move_file(backup, target, os::kMoveWriteThrough);
    return false;  // (made durable by the move itself)
  }
  return os::delete_file(backup) == os::kErrorSuccess;
}

// The backup folder `backup` is what a file now at its target replaced.
bool replaced_by_file(const std::wstring& backup) {
  const auto target = os::file_info(backup.substr(0, backup.size() - kOldCopySuffix.size()));
  return target && !(target->is_directory && !target->is_link);
}

// A folder that a file of the newer release replaced: whatever is in it (the user's files among
// them) is kept under a name of its own, never deleted. True when the folder changed.
bool keep_folder_backup(std::wstring_view client_dir, const std::wstring& backup) {
  const std::wstring target = backup.substr(0, backup.size() - kOldCopySuffix.size());
  const std::wstring kept = kept_folder_name(target);
  if (kept.empty() || os::move_file(backup, kept, 0) != os::kErrorSuccess) return false;
  std::printf("[*] Obnovlenie: papka %s zamenena faylom, ee soderzhimoe sokhraneno v %s.\n",
              relative_name(client_dir, target).c_str(), relative_name(client_dir, kept).c_str());
  return true;
}

// A folder of its own, not a link (or junction) that leads to one.
bool is_real_folder(const std::wstring& path) {
  const auto info = os::file_info(path);
  return info && info->is_directory && !info->is_link;
}

// Removes the object at `path` itself: a link goes as a link, and what it leads to stays untouched.
void remove_as_is(std::wstring_view path, const os::FileInfo& info) {
  (void)(info.is_directory ? os::remove_directory(path) : os::delete_file(path));
}

void delete_old_copies_in(std::wstring_view client_dir, const std::wstring& folder, bool descend) {
  std::vector<os::DirEntry> entries;
  if (!os::list_directory(folder, entries)) return;
  bool changed = false;
  for (const os::DirEntry& entry : entries) {
    const std::wstring path = join_path(folder, entry.name);
    if (!entry.info.is_directory || entry.info.is_link) {
      if (is_old_copy_name(entry.name)) changed |= discard_old_copy(path);
    } else if (is_old_copy_name(entry.name) && replaced_by_file(path)) {
      changed |= keep_folder_backup(client_dir, path);
    } else if (descend) {
      // A link may lead out of the client folder; backups are only ever made inside it.
      delete_old_copies_in(client_dir, path, true);
    }
  }
  if (changed) (void)os::sync_directory(folder);
}

}  // namespace

std::wstring staging_dir_for(std::wstring_view client_dir) { return join_path(client_dir, L"update"); }

void delete_old_copies(std::wstring_view client_dir) {
  // A replacement that was cut short still needs its backups to put the older release back.
  if (const auto journal = os::file_info(journal_path(client_dir)); journal && journal->is_regular) return;
  delete_old_copies_in(client_dir, std::wstring(client_dir), false);
  // Backups are only ever made inside the client folder: a link in the place of one of its
  // folders is not listed.
  const std::wstring bin = join_path(client_dir, L"bin");
  if (is_real_folder(bin)) delete_old_copies_in(client_dir, bin, true);
  const std::wstring data = join_path(client_dir, L"data");
  const std::wstring ngtables = join_path(data, L"ngtables");
  if (is_real_folder(data) && is_real_folder(ngtables)) delete_old_copies_in(client_dir, ngtables, true);
}

std::wstring kept_folder_name(std::wstring_view target) {
  for (int n = 1; n <= 100; ++n) {
    std::wstring name = std::wstring(target) + L".kept";
    if (n > 1) name += std::to_wstring(n);
    if (!os::file_info(name)) return name;
  }
  return {};
}

bool is_staging_name(std::wstring_view name) {
  if (name == std::wstring(kJournalName) + L".tmp") return true;
  if (name.size() <= 64 || !std::all_of(name.begin(), name.begin() + 64, [](wchar_t c) {
        return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
      })) {
    return false;
  }
  const std::wstring_view suffix = name.substr(64);
  return std::find(std::begin(kStagedSuffixes), std::end(kStagedSuffixes), suffix) != std::end(kStagedSuffixes);
}

bool is_old_copy_name(std::wstring_view name) {
  return name.size() > kOldCopySuffix.size() &&
         os::equal_ignoring_case(name.substr(name.size() - kOldCopySuffix.size()), kOldCopySuffix);
}

void prune_staging(std::wstring_view staging_dir, const std::set<std::wstring>& keep) {
  if (const auto info = os::file_info(staging_dir); info && info->is_link) {
    // Something else's folder behind a link is never listed: the link goes, and a staging folder
    // of its own is made when one is needed.
    remove_as_is(staging_dir, *info);
    return;
  }
  std::vector<os::DirEntry> entries;
  if (os::list_directory(staging_dir, entries)) {
    for (const os::DirEntry& entry : entries) {
      if (entry.info.is_directory && !entry.info.is_link) continue;
      // Only what the engine itself put there: the user's own files stay, whatever they are.
      if (!is_staging_name(entry.name)) continue;
      const std::wstring key = entry.name.substr(0, entry.name.find(L'.'));
      const std::wstring path = join_path(staging_dir, entry.name);
      // Staged files are plain files; a link, pipe or device of such a name goes whatever its key
      // (a link as a link), so that no download is written, read or mapped through it.
      if (!entry.info.is_regular) {
        remove_as_is(path, entry.info);
      } else if (!keep.contains(key)) {
        (void)os::delete_file(path);
      }
    }
  }
  if (keep.empty()) (void)os::remove_directory(staging_dir);
}

os::ErrorCode make_staging_dir(std::wstring_view staging_dir) {
  if (const auto info = os::file_info(staging_dir); info && info->is_link) remove_as_is(staging_dir, *info);
  const os::ErrorCode made = os::create_directory(staging_dir);
  if (made != os::kErrorAlreadyExists) return made;
  const auto info = os::file_info(staging_dir);
  if (!info) return os::kErrorPathNotFound;
  if (info->is_link) return os::kErrorReparsePointEncountered;
  return info->is_directory ? os::kErrorSuccess : made;
}

}  // namespace corvane
