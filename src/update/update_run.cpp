#include "update/update_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>
#include <set>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/size_text.h"
#include "net/download_plan.h"
#include "net/download_pool.h"
#include "net/file_table.h"
#include "net/http_client.h"
#include "net/url.h"
#include "os/file.h"
#include "net/wait_limits.h"
#include "os/folder_lock.h"
#include "os/fs.h"
#include "os/platform.h"
#include "os/text.h"
#include "os/update_lock.h"
#include "update/cleanup.h"
#include "update/delta_update.h"
#include "update/manifest.h"
#include "update/release_trust.h"
#include "update/replace_journal.h"
#include "update/replacement.h"
#include "update/space_plan.h"
#include "update/update_progress.h"
#include "update/verification.h"

#ifndef CORVANE_CDN_BASE_URL
#error "CORVANE_CDN_BASE_URL must be defined by the build"
#endif

namespace corvane {
namespace {

constexpr std::string_view kManifestName = "manifest.json";
constexpr std::size_t kManifestLimit = 1048576;
constexpr unsigned kDownloadWorkers = 8;
constexpr std::size_t kMaxChannelLength = 64;

constexpr const char* kCdnUnreachableLine = "[!] Obnovlenie: CDN nedostupen, zapuskaem tekushchuyu versiyu.\n";
constexpr const char* kManifestCorruptLine = "[!] Obnovlenie: manifest povrezhden, obnovlenie otkloneno.\n";

std::uint32_t fail(UpdateResult& result, std::uint32_t status) {
  result.status = status;
  return kFailed;
}

// Exhausted memory or container limits on the thread of the run: every handle has been released
// on the way out, and the staging folder and backups are what the next run starts from.
std::uint32_t stopped_for_memory(UpdateResult& result) {
  std::printf("[!] Obnovlenie: nedostatochno pamyati, obnovlenie prervano.\n");
  return fail(result, kStatusOutOfMemory);
}

bool cancelled(const ProgressCallback& progress) { return progress.cancel != nullptr && progress.cancel->load(); }

std::uint32_t stopped_by_cancel(UpdateResult& result) {
  std::printf("[!] Obnovlenie: otmeneno polzovatelem, fayly klienta ne izmeneny.\n");
  return fail(result, kStatusCancelled);
}

std::string release_label_of(const Manifest& manifest) {
  return manifest.date.empty() ? manifest.version : manifest.version + " ot " + manifest.date;
}

// Client files are hashed on one thread per core, but on no more threads than a download uses.
unsigned recheck_threads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(cores, 1u, kDownloadWorkers);
}

// Whether the downloads of `changed` are fetched in byte ranges: only when the largest of them
// (the first of equal ones) is at least kRangedMinimum bytes and the server answers a range for it.
bool use_ranges(const UrlParts& url, const std::vector<ManifestFile>& changed) {
  const ManifestFile* largest = nullptr;
  for (const ManifestFile& entry : changed) {
    if (largest == nullptr || download_size(entry) > download_size(*largest)) largest = &entry;
  }
  if (largest == nullptr || download_size(*largest) < kRangedMinimum) return false;
  return probe_range_support(url, file_url_path(*largest));
}

// Steps after the manifest has been read: plan, download, verify and replace. Called with the
// update lock held.
std::uint32_t update_from_manifest(const Manifest& manifest, const UrlParts& url,
                                   std::wstring_view install_dir, std::wstring_view self_path,
                                   UpdateResult& result, ProgressCallback progress, const TrustRoots& roots,
                                   const InstalledSerials& accepted) {
  const std::string label = release_label_of(manifest);
  const std::wstring staging_dir = staging_dir_for(install_dir);

  std::vector<ManifestFile> changed;
  std::set<std::wstring> keep;
  const std::vector<std::uint8_t> current = check_files_current(install_dir, manifest.files, recheck_threads());
  for (std::size_t i = 0; i < manifest.files.size(); ++i) {
    if (current[i] != 0) continue;
    changed.push_back(manifest.files[i]);
    keep.insert(os::from_utf8(manifest.files[i].sha256));
  }
  prune_staging(staging_dir, keep);
  if (changed.empty()) {
    record_release(roots, install_dir, accepted);
    std::printf("[*] Klient aktualen (versiya %s).\n", label.c_str());
    return kUpToDate;
  }

  std::printf("[*] Dostupna versiya %s, obnovlyaem %zu faylov...\n", label.c_str(), changed.size());

  // Contents that can be built from the chunks already on the disk: the first entry of each.
  std::vector<ManifestFile> delta_entries;
  std::set<std::string> delta_contents;
  std::set<std::string> contents;
  for (const ManifestFile& entry : changed) {
    if (contents.insert(entry.sha256).second && is_delta_candidate(install_dir, staging_dir, entry)) {
      delta_entries.push_back(entry);
      delta_contents.insert(entry.sha256);
    }
  }

  // Before any request for a file: will it all fit where it is written, the staging folder's
  // volume? (A volume that cannot say is not checked.) Downloads are moved into place, never
  // copied: a staging folder on a volume of its own could never be moved from.
  const auto staging_info = os::file_info(staging_dir);
  if (staging_info && staging_info->is_mount_point) {
    result.file = relative_name(install_dir, staging_dir);
    result.error_code = os::kErrorNotSameDevice;
    std::printf("[!] Obnovlenie: ne udalos sozdat vremennyy fayl dlya %s (kod %lu).\n", result.file.c_str(),
                static_cast<unsigned long>(result.error_code));
    return fail(result, kStatusWriteFailed);
  }
  const bool staging_there = staging_info && staging_info->is_directory && !staging_info->is_link;
  std::uint64_t free_bytes = 0;
  if (os::free_disk_space(staging_there ? std::wstring_view(staging_dir) : install_dir, free_bytes) ==
      os::kErrorSuccess) {
    const std::uint64_t needed = bytes_to_write(changed, staging_dir, &delta_contents) + kSpaceMargin;
    if (needed > free_bytes) {
      std::printf("[!] Obnovlenie: nedostatochno mesta na diske: nuzhno %s, svobodno %s.\n",
                  size_text(needed).c_str(), size_text(free_bytes).c_str());
      result.error_code = os::kErrorDiskFull;
      result.space_needed = needed;
      result.space_free = free_bytes;
      return fail(result, kStatusWriteFailed);
    }
  }

  FileTable table;
  DownloadPool pool;
  PlanFailure failure;
  // Downloads go into a staging folder of the client's own, never through a link.
  const os::ErrorCode staging_error = make_staging_dir(staging_dir);
  if (staging_error != os::kErrorSuccess) failure = PlanFailure{changed.front().path, staging_error};

  // The deltas first; what they could not build joins the whole downloads.
  std::uint64_t whole_bytes = 0;
  std::uint64_t planned_bytes = 0;
  contents.clear();
  for (const ManifestFile& entry : changed) {
    if (!contents.insert(entry.sha256).second) continue;
    planned_bytes += download_size(entry);
    if (delta_contents.count(entry.sha256) == 0) whole_bytes += download_size(entry);
  }
  DeltaOutcome deltas;
  std::unordered_map<std::string, std::wstring> built;  // sha256 -> the file a delta built
  if (staging_error == os::kErrorSuccess && !delta_entries.empty()) {
    run_deltas(url, install_dir, staging_dir, delta_entries, kDownloadWorkers,
               DeltaProgress{progress, whole_bytes, static_cast<std::uint32_t>(contents.size())}, deltas);
    if (cancelled(progress)) return stopped_by_cancel(result);
    for (std::size_t i = 0; i < delta_entries.size(); ++i) {
      if (!deltas.staged[i].empty()) built.emplace(delta_entries[i].sha256, deltas.staged[i]);
    }
  }
  std::vector<ManifestFile> whole;
  for (const ManifestFile& entry : changed) {
    if (built.count(entry.sha256) == 0) whole.push_back(entry);
  }

  if (staging_error != os::kErrorSuccess ||
      !plan_downloads(whole, use_ranges(url, whole), staging_dir, table, pool, failure)) {
    result.file = failure.file;
    result.error_code = failure.error_code;
    std::printf("[!] Obnovlenie: ne udalos sozdat vremennyy fayl dlya %s (kod %lu).\n", failure.file.c_str(),
                static_cast<unsigned long>(failure.error_code));
    return fail(result, kStatusWriteFailed);
  }

  // The staging files' names reach the disk, so that the parts recorded from now on survive a power
  // cut. Only what the next run can resume depends on it: a failure here fails nothing.
  (void)os::sync_directory(staging_dir);
  (void)os::sync_directory(install_dir);

  ProgressState state{&pool, &table, deltas.bytes_fetched + table.bytes_total,
                      static_cast<std::uint32_t>(built.size() + table.files.size()), progress};
  state.bytes_base = deltas.bytes_fetched;
  state.files_base = static_cast<std::uint32_t>(built.size());
  pool.cancel = progress.cancel;
  if (!pool.parts.empty() || built.empty()) {
    run_download_pool(url, pool, kDownloadWorkers, table, &write_part_data, &report_progress, &state);
    if (progress.fn == nullptr) std::printf("\n");
  }
  close_download_files(table);
  if (cancelled(progress)) return stopped_by_cancel(result);
  if (deltas.built != 0) {
    std::printf("[*] Obnovlenie: zagruzheno %s vmesto %s.\n",
                size_text(deltas.bytes_fetched + pool.bytes_done.load()).c_str(), size_text(planned_bytes).c_str());
  }

  if (const std::uint32_t failed = pool.parts_failed.load(); failed != 0) {
    std::printf("[!] Obnovlenie: ne skachano %d chastey, zagruzka prodolzhitsya pri sleduyushchem zapuske.\n",
                static_cast<int>(failed));
    return fail(result, pool.parts_fatal.load() != 0 ? kStatusReleaseChanging : kStatusDownloadIncomplete);
  }

  // The first entry of each content owns its download; later entries with that content are
  // copied from the first one's target by apply_files. A path listed twice is checked once.
  std::vector<std::wstring> staged(changed.size());
  std::unordered_set<const DownloadFile*> verified;
  std::unordered_set<std::string> delta_staged;
  for (std::size_t i = 0; i < changed.size(); ++i) {
    if (const auto delta = built.find(changed[i].sha256); delta != built.end()) {
      // The first entry of a content built by its chunks takes that file; later ones copy it.
      if (delta_staged.insert(changed[i].sha256).second) staged[i] = delta->second;
      continue;
    }
    const auto download = table.files.find(changed[i].path);
    if (download == table.files.end()) continue;
    if (!verified.insert(&download->second).second) {
      staged[i] = download->second.raw_path;
      continue;
    }
    os::ErrorCode write_error = os::kErrorSuccess;
    if (!verify_download(download->second, changed[i], &write_error)) {
      result.file = changed[i].path;
      if (write_error != os::kErrorSuccess) {
        // The disk, not the download: the packed file stays for the next run, and only the part of
        // its unpacked content that was made goes.
        result.error_code = write_error;
        std::printf("[!] Obnovlenie: ne udalos sozdat vremennyy fayl dlya %s (kod %lu).\n", changed[i].path.c_str(),
                    static_cast<unsigned long>(write_error));
        if (download->second.packed) (void)os::delete_file(download->second.raw_path);
        return fail(result, kStatusWriteFailed);
      }
      std::printf("[!] Obnovlenie: fayl %s povrezhden pri zagruzke.\n", changed[i].path.c_str());
      discard_download(download->second);
      return fail(result, kStatusDownloadCorrupt);
    }
    staged[i] = download->second.raw_path;
  }

  // The last point at which a cancel is taken: a replacement once begun is finished (or rolled
  // back on its own failure), so the client is always one whole release.
  if (cancelled(progress)) return stopped_by_cancel(result);
  bool replaced_self = false;
  if (!apply_files(install_dir, changed, staged, self_path, result, replaced_self)) return kFailed;
  record_release(roots, install_dir, accepted);

  prune_staging(staging_dir, {});
  delete_old_copies(install_dir);
  std::printf("[*] Klient obnovlen do versii %s.\n", label.c_str());
  return replaced_self ? kUpdatedSelf : kUpdated;
}

// Whether this account may change the journal that is there: an account that may only read the
// client folder still takes the lock of a lock file the owner left, but can put nothing back.
bool may_change_journal(std::wstring_view install_dir) {
  os::File journal;
  const os::ErrorCode e =
      journal.open(journal_path(install_dir), os::OpenMode::ReadWriteAlways, os::OpenTarget::RegularFile);
  return e != os::kErrorAccessDenied && e != os::kErrorWriteProtect;
}

// A replacement that a crash or a power cut stopped half-way left its journal: the older release is
// put back before anything else happens, with or without network. False (and `result` filled) when
// that cannot be done now; the journal then stays for the next run. A run that may not write the
// client folder (and so holds no lock of it) touches nothing: the journal may be that of another
// account's run under way, and only a run that may write can put anything back.
bool put_back_interrupted_replacement(std::wstring_view install_dir, bool may_write, UpdateResult& result) {
  std::vector<JournalEntry> journal;
  os::ErrorCode error = os::kErrorSuccess;
  const JournalState state = read_journal(install_dir, journal, error);
  if (state == JournalState::Found && (!may_write || !may_change_journal(install_dir))) {
    const std::string name = relative_name(install_dir, journal_path(install_dir));
    std::printf("[!] Obnovlenie: zamena faylov ne zavershena, a papka klienta dostupna tolko dlya chteniya "
                "(kod %lu), obnovlenie otkloneno.\n",
                static_cast<unsigned long>(os::kErrorAccessDenied));
    result.file = name;
    result.error_code = os::kErrorAccessDenied;
    result.status = kStatusWriteFailed;
    return false;
  }
  switch (state) {
    case JournalState::None:
      return true;
    case JournalState::Malformed:
      // Never moved into place whole, or never written by a replacement: no file was ever moved by
      // it (whatever is at its name goes as itself).
      (void)remove_journal(install_dir);
      return true;
    case JournalState::Unreadable: {
      const std::string name = relative_name(install_dir, journal_path(install_dir));
      std::printf("[!] Obnovlenie: ne udalos prochitat %s (kod %lu), obnovlenie otkloneno.\n", name.c_str(),
                  static_cast<unsigned long>(error));
      result.file = name;
      result.error_code = error;
      result.status = kStatusWriteFailed;
      return false;
    }
    case JournalState::Found:
      break;
  }
  std::printf("[*] Obnovlenie: zamena faylov byla prervana, vozvrashchaem prezhnyuyu versiyu.\n");
  RestoreFailure failure;
  if (restore_from_journal(install_dir, journal, failure)) return true;
  std::printf("[!] Obnovlenie: ne udalos vernut %s (kod %lu), vosstanovlenie pri sleduyushchem zapuske.\n",
              failure.file.c_str(), static_cast<unsigned long>(failure.code));
  result.file = failure.file;
  result.error_code = failure.code;
  result.status = failure.busy ? kStatusFileBusy : kStatusWriteFailed;
  return false;
}

std::uint32_t run_locked(std::string_view base_url, const TrustRoots& roots, std::wstring_view install_dir,
                         std::wstring_view self_path, UpdateResult& result, ProgressCallback progress,
                         const std::string& channel, bool may_write = true) {
  if (!put_back_interrupted_replacement(install_dir, may_write, result)) return kFailed;
  delete_old_copies(install_dir);

  std::string channel_url(base_url);
  if (channel_url.empty() || channel_url.back() != '/') channel_url += '/';
  channel_url += channel;
  channel_url += '/';
  UrlParts url;
  std::string body;
  std::uint32_t http_status = 0;
  if (!is_valid_channel(channel) || !split_url(channel_url, url) ||
      !http_get_to_memory(url, kManifestName, kManifestLimit, body, &http_status)) {
    std::printf("%s", kCdnUnreachableLine);
    return fail(result, http_status == 404 ? kStatusManifestMissing : kStatusCdnUnreachable);
  }

  // Nothing of a release is requested before its manifest has passed the trust checks.
  InstalledSerials accepted;
  if (!admit_release(roots, url, body, install_dir, accepted)) return fail(result, kStatusManifestCorrupt);

  Manifest manifest;
  if (!parse_manifest(body, manifest) || has_conflicting_targets(install_dir, manifest.files)) {
    std::printf("%s", kManifestCorruptLine);
    return fail(result, kStatusManifestCorrupt);
  }
  body = std::string();
  result.version = manifest.version;
  result.date = manifest.date;
  return update_from_manifest(manifest, url, install_dir, self_path, result, progress, roots, accepted);
}

std::uint32_t lock_unavailable(UpdateResult& result, const std::wstring& where, os::ErrorCode error,
                               const os::LockHolder& holder) {
  if (error == os::kErrorCancelled) return stopped_by_cancel(result);
  if (error != os::kErrorLockHeld) {
    std::printf("[!] Obnovlenie: ne udalos poluchit blokirovku %s (kod %lu), obnovlenie otkloneno.\n",
                os::to_utf8(where).c_str(), static_cast<unsigned long>(error));
  } else if (holder.pid != 0) {
    std::printf("[!] Obnovlenie: blokirovku %s derzhit process %lu (%s), obnovlenie otkloneno.\n",
                os::to_utf8(where).c_str(), static_cast<unsigned long>(holder.pid),
                holder.program.empty() ? "?" : os::to_utf8(holder.program).c_str());
  } else {
    // The platform cannot tell who holds it (a named mutex, a file opened without sharing).
    std::printf("[!] Obnovlenie: blokirovku %s derzhit drugoy process, obnovlenie otkloneno.\n",
                os::to_utf8(where).c_str());
  }
  result.status = kStatusLockUnavailable;
  result.error_code = error;
  return kFailed;
}

// Takes a lock through `make(bound)`: one try first, and when another run holds it, a line that
// says what the run waits for, then the bounded wait.
template <typename Make>
auto take_lock(const Make& make, const os::LockWaitBound& wait, const std::wstring& where) {
  auto lock = make(os::LockWaitBound{std::chrono::milliseconds(0), wait.cancel});
  if (lock.owned() || lock.error() != os::kErrorLockHeld || wait.limit.count() == 0) return lock;
  std::printf("[*] Obnovlenie: blokirovku %s derzhit drugoy zapusk, zhdem do %lld s...\n", os::to_utf8(where).c_str(),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(wait.limit).count()));
  std::fflush(stdout);
  return make(wait);
}

}  // namespace

bool is_valid_channel(std::string_view channel) {
  if (channel.empty() || channel.size() > kMaxChannelLength || channel == "." || channel == "..") return false;
  for (const char c : channel) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::uint32_t run_update_with_base_url(std::string_view base_url, const std::wstring& install_dir,
                                       const std::wstring& self_path, UpdateResult* result,
                                       ProgressCallback progress, const std::string& channel) {
  return run_update_with_roots(base_url, pinned_roots(), install_dir, self_path, result, progress, channel);
}

std::uint32_t run_update_with_roots(std::string_view base_url, const TrustRoots& roots,
                                    const std::wstring& install_dir, const std::wstring& self_path,
                                    UpdateResult* result, ProgressCallback progress, const std::string& channel) {
  UpdateResult own;
  UpdateResult& out = result != nullptr ? *result : own;
  out = UpdateResult{};
  try {
    // Held until the run returns. A lock that cannot be had safely (another user's lock file, a
    // link in its place) ends the run: never go on unlocked.
    // Another run holds the locks for as long as it works, but not forever: past the wait limit
    // the run says who holds them and gives up.
    const os::LockWaitBound wait{wait_limits().lock_wait, progress.cancel};
    std::wstring where = os::UpdateLock::lock_file_path(os::kUpdateLockName);
    if (where.empty()) where = os::kUpdateLockName;
    const os::UpdateLock lock = take_lock(
        [](const os::LockWaitBound& bound) { return os::UpdateLock(os::kUpdateLockName, bound); }, wait, where);
    if (!lock.owned()) return lock_unavailable(out, where, lock.error(), lock.holder());
    // The lock of the folder itself: runs of other accounts, or of other sessions, that update the
    // same folder take turns with this one. It lives in the staging folder (a link in whose place
    // goes first) and takes that folder along when it is let go and nothing else is left in it.
    const std::wstring staging_dir = staging_dir_for(install_dir);
    const os::ErrorCode staging = make_staging_dir(staging_dir);
    if (staging == os::kErrorAccessDenied || staging == os::kErrorWriteProtect) {
      // An account that may only read the client folder (another account's install, a read-only
      // volume) can write nothing there, the lock included: it still learns whether the client is
      // current, and a run that would have to change something fails at its first write.
      return run_locked(base_url, roots, install_dir, self_path, out, progress, channel, /*may_write=*/false);
    }
    const os::FolderLock folder_lock = take_lock(
        [&](const os::LockWaitBound& bound) { return os::FolderLock(staging_dir, kFolderLockName, bound); }, wait,
        staging_dir + os::kSep + std::wstring(kFolderLockName));
    if (!folder_lock.owned()) {
      return lock_unavailable(out, folder_lock.lock_file(), folder_lock.error(), folder_lock.holder());
    }
    return run_locked(base_url, roots, install_dir, self_path, out, progress, channel);
  } catch (const std::bad_alloc&) {
    return stopped_for_memory(out);
  } catch (const std::length_error&) {
    return stopped_for_memory(out);
  } catch (...) {
    // Anything else thrown through the run, such as by the caller's progress callback: the
    // download was stopped and its workers joined on the way out, as after a lack of memory.
    std::printf("[!] Obnovlenie: vnutrennyaya oshibka, obnovlenie prervano.\n");
    out.status = kStatusInterrupted;
    return kFailed;
  }
}

std::uint32_t run_update(const std::wstring& install_dir, const std::wstring& self_path, UpdateResult* result,
                         ProgressCallback progress, const std::string& channel) {
  return run_update_with_base_url(CORVANE_CDN_BASE_URL, install_dir, self_path, result, progress, channel);
}

}  // namespace corvane
