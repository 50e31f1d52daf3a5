#include "update/replace_journal.h"

#include <algorithm>
#include <set>

#include "base/paths.h"
#include "os/fs.h"
#include "os/platform.h"
#include "os/text.h"
#include "update/cleanup.h"
#include "update/replacement.h"

namespace corvane {
namespace {

// The journal's text: this first line, one line per target ("B " when it had an original, "N "
// when not, then its path below the client folder with '/' between names), and a last line "end".
constexpr std::string_view kHeader = "corvane replace journal 1";
constexpr std::string_view kEnd = "end";

// A path below the client folder as the journal writes it: names without a separator of the other
// kind or any character a manifest path may not hold, none of them empty, "." or "..".
bool is_safe_relative(std::string_view relative) {
  if (relative.empty() || relative.find('\0') != std::string_view::npos ||
      relative.find_first_of("\\:*?\"<>|") != std::string_view::npos) {
    return false;
  }
  for (std::size_t start = 0;;) {
    const std::size_t end = relative.find('/', start);
    const std::string_view name = relative.substr(start, end == std::string_view::npos ? end : end - start);
    if (name.empty() || name == "." || name == "..") return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

std::wstring target_of(std::wstring_view client_dir, std::string_view relative) {
  std::wstring target(client_dir);
  target += os::kSep;
  for (const wchar_t c : os::from_utf8(relative)) target.push_back(c == L'/' ? os::kSep : c);
  return target;
}

bool is_folder(const std::optional<os::FileInfo>& info) { return info && info->is_directory && !info->is_link; }

}  // namespace

std::wstring journal_path(std::wstring_view client_dir) {
  return join_path(staging_dir_for(client_dir), kJournalName);
}

std::string relative_name(std::wstring_view client_dir, std::wstring_view target) {
  std::wstring relative(target.substr(std::min(target.size(), client_dir.size() + 1)));
  std::replace(relative.begin(), relative.end(), os::kSep, L'/');
  return os::to_utf8(relative);
}

os::ErrorCode write_journal(std::wstring_view client_dir, const std::vector<JournalEntry>& entries) {
  std::string text(kHeader);
  text += '\n';
  for (const JournalEntry& entry : entries) {
    text += entry.had_original ? "B " : "N ";
    text += relative_name(client_dir, entry.target);
    text += '\n';
  }
  text += kEnd;
  text += '\n';
  // The staging folder is there while a run holds its lock; a replacement without a run makes it.
  if (const os::ErrorCode e = make_staging_dir(staging_dir_for(client_dir))) return e;
  return os::write_file_atomically(journal_path(client_dir), text);
}

JournalState read_journal(std::wstring_view client_dir, std::vector<JournalEntry>& entries, os::ErrorCode& error) {
  entries.clear();
  error = os::kErrorSuccess;
  std::string text;
  if (const os::ErrorCode e = os::read_whole_file(journal_path(client_dir), text)) {
    if (e == os::kErrorFileNotFound || e == os::kErrorPathNotFound) return JournalState::None;
    error = e;
    return JournalState::Unreadable;
  }
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) return JournalState::Malformed;  // every line ends in a line feed
    lines.push_back(std::string_view(text).substr(start, end - start));
    start = end + 1;
  }
  if (lines.size() < 2 || lines.front() != kHeader || lines.back() != kEnd) return JournalState::Malformed;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line.size() < 3 || (line[0] != 'B' && line[0] != 'N') || line[1] != ' ' || !is_safe_relative(line.substr(2))) {
      entries.clear();
      return JournalState::Malformed;
    }
    entries.push_back({target_of(client_dir, line.substr(2)), line[0] == 'B'});
  }
  return JournalState::Found;
}

os::ErrorCode remove_journal(std::wstring_view client_dir) {
  const os::ErrorCode e = os::delete_file(journal_path(client_dir));
  if (e != os::kErrorSuccess && e != os::kErrorFileNotFound) return e;
  return os::sync_directory(staging_dir_for(client_dir));
}

os::ErrorCode sync_folders_of(std::wstring_view client_dir, const std::vector<std::wstring>& targets,
                              std::wstring& failed) {
  std::set<std::wstring> folders;
  for (const std::wstring& target : targets) {
    for (std::wstring folder = parent_dir(target); folder.size() >= client_dir.size(); folder = parent_dir(folder)) {
      if (!folders.insert(folder).second || folder.size() == client_dir.size()) break;
    }
  }
  for (const std::wstring& folder : folders) {
    if (!is_folder(os::file_info(folder))) continue;  // never made: nothing in it to flush
    if (const os::ErrorCode e = os::sync_directory(folder)) {
      failed = folder;
      return e;
    }
  }
  return os::kErrorSuccess;
}

bool restore_from_journal(std::wstring_view client_dir, const std::vector<JournalEntry>& entries,
                          RestoreFailure& failure) {
  const auto fail = [&](const std::wstring& target, os::ErrorCode code, bool busy) {
    failure = RestoreFailure{relative_name(client_dir, target), code, busy};
    return false;
  };
  std::vector<std::wstring> targets;
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    const std::wstring& target = it->target;
    targets.push_back(target);
    const auto now = os::file_info(target);
    if (it->had_original) {
      const std::wstring backup = target + std::wstring(kOldCopySuffix);
      const auto original = os::file_info(backup);
      if (!original) continue;  // never moved aside, or back already
      // One replacing move puts the original back over the new file, so that no moment is without
      // either. Only a folder cannot replace a file that way: the new file goes first then.
      if (is_folder(original) && now && !is_folder(now)) {
        if (const os::ErrorCode e = os::delete_file(target)) return fail(target, e, true);
      }
      if (const os::ErrorCode e = os::move_file(backup, target, os::kMoveReplaceExisting)) {
        return fail(target, e, true);
      }
    } else if (now && !is_folder(now)) {
      // Nothing was there before: the new file goes. (A folder there now was never put there by a
      // replacement, which only ever places files.)
      if (const os::ErrorCode e = os::delete_file(target)) return fail(target, e, true);
    }
  }
  std::wstring folder;
  if (const os::ErrorCode e = sync_folders_of(client_dir, targets, folder)) return fail(folder, e, false);
  if (const os::ErrorCode e = remove_journal(client_dir)) return fail(journal_path(client_dir), e, false);
  return true;
}

}  // namespace corvane
