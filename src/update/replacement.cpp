#include "update/replacement.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "base/paths.h"
#include "os/fs.h"
#include "os/platform.h"
#include "os/text.h"
#include "update/cleanup.h"

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

// A folder between the client folder and `target` that is a link (or junction): what is written
// below it would land wherever the link leads. Missing folders are made by create_parent_dirs.
os::ErrorCode linked_folder_on_the_way(std::wstring_view client_dir, std::wstring_view target) {
  for (std::size_t sep = target.find(os::kSep, client_dir.size() + 1); sep != std::wstring_view::npos;
       sep = target.find(os::kSep, sep + 1)) {
    const auto info = os::file_info(target.substr(0, sep));
    if (!info) break;
    if (info->is_link) return os::kErrorReparsePointEncountered;
  }
  return os::kErrorSuccess;
}

// Fills `result` for a failed entry, prints `format` with its path and code, and undoes the
// replacements made so far together with the staging folder.
bool fail_apply(std::uint32_t status, const char* format, const ManifestFile& entry, os::ErrorCode code,
                const std::vector<AppliedFile>& applied, std::wstring_view client_dir,
                UpdateResult& result) {
  result.status = status;
  result.file = entry.path;
  result.error_code = code;
  std::printf(format, entry.path.c_str(), static_cast<unsigned long>(code));
  rollback_applied(applied);
  prune_staging(staging_dir_for(client_dir), {});
  return false;
}

}  // namespace

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
  // Skip the root: "C:\" on Windows, "/" on Linux.
  const std::size_t first = os::kIsWindows ? 3 : 1;
  for (std::size_t i = first; i < path.size(); ++i) {
    if (path[i] == os::kSep) (void)os::create_directory(path.substr(0, i));
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

  std::vector<AppliedFile> applied;
  std::unordered_map<std::string, std::wstring> first_target_of_content;
  for (std::size_t i = 0; i < changed.size(); ++i) {
    const ManifestFile& entry = changed[i];
    const std::wstring& target = targets[i];
    const auto earlier = first_target_of_content.find(entry.sha256);
    // The same path listed twice with the same content: it is in place already, and copying a
    // file onto itself would empty it.
    if (earlier != first_target_of_content.end() && same_target(earlier->second, target)) continue;
    // The same path listed twice with other content: its original is in the backup already, and
    // moving this run's own file over that backup would lose the original.
    const bool replaced_before = std::any_of(applied.begin(), applied.end(), [&](const AppliedFile& a) {
      return same_target(a.target, target);
    });

    if (const os::ErrorCode e = linked_folder_on_the_way(client_dir, target)) {
      return fail_apply(kStatusWriteFailed, "[!] Obnovlenie: ne udalos zapisat %s (kod %lu), otkat.\n", entry, e,
                        applied, client_dir, result);
    }
    AppliedFile file{target, target + std::wstring(kOldCopySuffix), false};
    file.existed = !replaced_before && os::file_info(target).has_value();
    create_parent_dirs(target);
    if (file.existed) {
      if (const os::ErrorCode e = os::move_file(target, file.backup, os::kMoveReplaceExisting)) {
        return fail_apply(kStatusFileBusy, "[!] Obnovlenie: fayl %s zanyat (kod %lu), otkat.\n", entry, e,
                          applied, client_dir, result);
      }
    }

    const os::ErrorCode e =
        earlier != first_target_of_content.end()
            ? os::copy_file(earlier->second, target, false)
            : os::move_file(i < staged.size() ? std::wstring_view(staged[i]) : std::wstring_view(), target,
                            os::kMoveReplaceExisting | os::kMoveWriteThrough);
    if (e != os::kErrorSuccess) {
      if (file.existed) {
        (void)os::move_file(file.backup, target, os::kMoveReplaceExisting);
      } else {
        // A copy that failed half-way leaves a part of a file; no earlier file is lost by this.
        (void)os::delete_file(target);
      }
      return fail_apply(kStatusWriteFailed, "[!] Obnovlenie: ne udalos zapisat %s (kod %lu), otkat.\n", entry,
                        e, applied, client_dir, result);
    }

    first_target_of_content.emplace(entry.sha256, target);
    if (paths_equal(target, self_path)) replaced_self = true;
    applied.push_back(std::move(file));
  }
  return true;
}

void rollback_applied(const std::vector<AppliedFile>& applied) {
  for (auto it = applied.rbegin(); it != applied.rend(); ++it) {
    (void)os::delete_file(it->target);
    if (it->existed) (void)os::move_file(it->backup, it->target, os::kMoveReplaceExisting);
  }
}

}  // namespace corvane
