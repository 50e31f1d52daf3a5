#include "update/replace_journal.h"

#include <algorithm>
#include <set>

#include "base/paths.h"
#include "os/fs.h"
#include "os/platform.h"
#include "os/text.h"
#include "update/cleanup.h"
#include "update/replacement.h"
#include "update/verification.h"

namespace corvane {
namespace {

// The journal's text: this first line, one line per target, and a last line "end". A target is
// named by its path below the client folder with '/' between names, after "N " when nothing was
// there, "B <size> <sha256> " when a plain file was, and "B - " when something else was.
constexpr std::string_view kHeader = "corvane replace journal 2";
constexpr std::string_view kEnd = "end";
constexpr std::string_view kOtherOriginal = "-";
// Longer than any journal a manifest's files make.
constexpr std::size_t kJournalLimit = 16u << 20;

bool is_lower_hex(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// One entry's line without its line feed; false when it is not one this program writes.
bool parse_entry(std::string_view line, std::string_view& relative, JournalEntry& entry) {
  if (line.size() < 3 || line[1] != ' ' || (line[0] != 'N' && line[0] != 'B')) return false;
  std::string_view rest = line.substr(2);
  entry.had_original = line[0] == 'B';
  if (entry.had_original) {
    const std::size_t space = rest.find(' ');
    if (space == std::string_view::npos) return false;
    const std::string_view first = rest.substr(0, space);
    rest = rest.substr(space + 1);
    if (first != kOtherOriginal) {
      const std::size_t second = rest.find(' ');
      if (first.empty() || first.size() > 19 || !std::all_of(first.begin(), first.end(), [](char c) {
            return c >= '0' && c <= '9';
          }) || second != 64 || !is_lower_hex(rest.substr(0, 64))) {
        return false;
      }
      entry.original.plain = true;
      entry.original.size = std::stoull(std::string(first));
      entry.original.sha256 = std::string(rest.substr(0, 64));
      rest = rest.substr(65);
    }
  }
  relative = rest;
  return is_target_name(relative);
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
    if (!entry.had_original) {
      text += "N ";
    } else if (entry.original.plain) {
      text += "B " + std::to_string(entry.original.size) + " " + entry.original.sha256 + " ";
    } else {
      text += "B " + std::string(kOtherOriginal) + " ";
    }
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
  const std::wstring path = journal_path(client_dir);
  const auto info = os::file_info(path);
  if (!info) return JournalState::None;
  // Only ever written as a plain file: anything else there (a link, a pipe) is none of its own.
  if (!info->is_regular) return JournalState::Malformed;
  std::string text;
  if (const os::ErrorCode e = os::read_plain_file(path, kJournalLimit, text)) {
    if (e == os::kErrorFileNotFound || e == os::kErrorPathNotFound) return JournalState::None;
    if (e == os::kErrorFileTooLarge || e == os::kErrorReparsePointEncountered) return JournalState::Malformed;
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
    JournalEntry entry;
    std::string_view relative;
    if (!parse_entry(lines[i], relative, entry)) {
      entries.clear();
      return JournalState::Malformed;
    }
    entry.target = target_of(client_dir, relative);
    entries.push_back(std::move(entry));
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

bool describe_original(std::wstring_view path, Original& out) {
  out = Original{};
  const auto info = os::file_info(path);
  if (!info || !info->is_regular) return true;
  out.plain = true;
  out.size = info->size;
  return sha256_file(path, out.sha256);
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
    // Nothing below a link was ever written by a replacement, and it may lead anywhere.
    if (linked_folder_on_the_way(client_dir, target) != os::kErrorSuccess) continue;
    targets.push_back(target);
    const auto now = os::file_info(target);
    if (it->had_original) {
      const std::wstring backup = target + std::wstring(kOldCopySuffix);
      const auto found = os::file_info(backup);
      if (!found) continue;  // never moved aside, or back already
      // Only the backup this replacement made goes back; another one (left by an earlier run) is
      // not the original, which then was never moved aside.
      if (it->original.plain) {
        if (!found->is_regular || found->size != it->original.size) continue;
        std::string digest;
        if (!sha256_file(backup, digest)) return fail(target, os::kErrorAccessDenied, true);
        if (digest != it->original.sha256) continue;
      } else if (found->is_regular) {
        continue;
      }
      // One replacing move puts the original back over the new file, so that no moment is without
      // either. Only a folder cannot replace a file that way, nor a file a folder (made for files
      // below it, which went first): what is there goes first then.
      if (is_folder(found) && now && !is_folder(now)) {
        if (const os::ErrorCode e = os::delete_file(target)) return fail(target, e, true);
      } else if (!is_folder(found) && is_folder(now)) {
        if (const os::ErrorCode e = os::remove_directory(target)) return fail(target, e, true);
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
