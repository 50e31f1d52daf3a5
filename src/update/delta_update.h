#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/url.h"
#include "update/manifest.h"
#include "update/update_run.h"

// The update of a file by its chunks: the file's chunk index is fetched and checked, the local
// copies are chunked, and the new file is built in the staging folder from the chunks found on the
// disk and byte ranges of the published file for the rest, over the pool's connections. Any failure
// leaves that file to the whole download, once, with a console line; a delta never fails a run.
namespace corvane {

// Staging names "<sha256>.delta" (the file being built) and "<sha256>.dparts" (its resume record:
// the index's 32-byte SHA-256, then the u32 little-endian numbers of the fetched chunks, each
// recorded only once its bytes are on the disk).
inline constexpr std::wstring_view kDeltaSuffix = L".delta";
inline constexpr std::wstring_view kDeltaRecordSuffix = L".dparts";

// Ranges of a file fetched in one request at most; adjacent missing chunks are merged up to it.
inline constexpr std::uint64_t kMaxDeltaRange = 8u << 20;

// The entry has a chunk index and something local to build from: the client's file at its place
// or the staging file of an earlier whole download of the new content.
bool is_delta_candidate(std::wstring_view install_dir, std::wstring_view staging_dir, const ManifestFile& entry);

struct DeltaOutcome {
  std::vector<std::wstring> staged;  // per entry: the verified new file, or empty: fetch it whole
  std::uint64_t bytes_fetched = 0;   // index bodies and range bodies, failed attempts included
  std::uint64_t bytes_replaced = 0;  // the whole downloads the successful deltas stood in for
  std::size_t built = 0;             // entries with a staged file
};

// Progress of the delta downloads within the whole run: what the caller's callback is told.
struct DeltaProgress {
  ProgressCallback callback;
  std::uint64_t other_bytes = 0;  // what the whole downloads after the deltas will fetch
  std::uint32_t files_total = 0;
};

// Builds each of `entries` (distinct contents, each a delta candidate) by its chunks.
void run_deltas(const UrlParts& url, std::wstring_view install_dir, std::wstring_view staging_dir,
                const std::vector<ManifestFile>& entries, unsigned workers, const DeltaProgress& progress,
                DeltaOutcome& outcome);

}  // namespace corvane
