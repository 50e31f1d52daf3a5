#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// The update run: brings one client folder to the state that a channel's release manifest
// describes, and says why when it cannot.
namespace corvane {

// Why a run failed; 0 when it did not.
enum UpdateStatus : std::uint32_t {
  kStatusNone = 0,
  kStatusCdnUnreachable = 1,
  kStatusManifestCorrupt = 2,
  kStatusDownloadIncomplete = 3,
  kStatusDownloadCorrupt = 4,
  kStatusFileBusy = 5,
  kStatusWriteFailed = 6,
  kStatusManifestMissing = 7,
  kStatusReleaseChanging = 8,
  kStatusOutOfMemory = 9,  // the run ran out of memory and stopped where it was
  kStatusLockUnavailable = 10,  // the update lock could not be had safely (error_code says why)
  kStatusInterrupted = 11,      // an exception (from the caller's progress callback) ended the run
  kStatusCancelled = 12,        // the caller's cancel flag stopped the run before any client file changed
};

// Result code of run_update.
enum UpdateCode : std::uint32_t {
  kUpToDate = 0,     // every file already matched; nothing was downloaded
  kUpdated = 1,      // changed files downloaded, verified and replaced
  kUpdatedSelf = 2,  // as kUpdated, and one replaced file is the caller's own program
  kFailed = 3,       // see UpdateResult::status
};

struct UpdateResult {
  std::uint32_t status = kStatusNone;
  std::string version;  // the manifest's "version" (UTF-8), once the manifest was read
  std::string date;     // the manifest's "date" (UTF-8, may be empty)
  std::string file;     // manifest path of the file a failure concerns
  std::uint32_t error_code = 0;  // Windows error code of the failed call, where one applies
  // When the run failed before its download because the client folder's volume cannot hold what it
  // would write (status 6, error_code 112): the bytes it needs (with a small reserve) and the
  // bytes that are free. Both 0 otherwise.
  std::uint64_t space_needed = 0;
  std::uint64_t space_free = 0;
};

// Progress of the download, reported on the thread of the run about every 200 ms.
using ProgressFn = void (*)(void* context, std::uint64_t bytes_done, std::uint64_t bytes_total,
                            std::uint32_t files_done, std::uint32_t files_total);
struct ProgressCallback {
  void* context = nullptr;
  ProgressFn fn = nullptr;  // null: the run prints its console progress line instead
  // Set by the caller (any thread) to stop the run: waits for the locks end, the download stops
  // within about a second keeping its finished parts, and nothing is replaced. A replacement under
  // way is finished (or rolled back on its own failure), never cut. May be null.
  const std::atomic<bool>* cancel = nullptr;
};

// 1 to 64 bytes, each an ASCII letter, digit, '.', '-' or '_', and neither "." nor "..".
bool is_valid_channel(std::string_view channel);

// The run against the configured CDN (CORVANE_CDN_BASE_URL). `result` may be null.
std::uint32_t run_update(const std::wstring& install_dir, const std::wstring& self_path,
                         UpdateResult* result, ProgressCallback progress, const std::string& channel);

// The same run against another CDN base URL (an http(s) URL ending in "/"); for tests and tools.
std::uint32_t run_update_with_base_url(std::string_view base_url, const std::wstring& install_dir,
                                       const std::wstring& self_path, UpdateResult* result,
                                       ProgressCallback progress, const std::string& channel);

// The same run trusting `roots` instead of the keys this build pins; for tests.
struct TrustRoots;
std::uint32_t run_update_with_roots(std::string_view base_url, const TrustRoots& roots,
                                    const std::wstring& install_dir, const std::wstring& self_path,
                                    UpdateResult* result, ProgressCallback progress, const std::string& channel);

}  // namespace corvane
