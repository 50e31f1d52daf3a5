#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/download_part.h"
#include "net/file_table.h"
#include "os/error.h"

// Turns the files that must be fetched into staging files and a queue of parts.
namespace corvane {

// One file to fetch, as the update run describes it from its manifest.
struct DownloadEntry {
  std::string path;              // where it goes in the client folder, '/' separated (UTF-8)
  std::string url_path;          // where the server has it, relative to the channel's base path
  std::string sha256;            // 64 lower-case hexadecimal digits of the unpacked content
  std::uint32_t size = 0;        // length of the content in bytes
  std::uint32_t packed_size = 0; // length of the LZMS-packed download; 0: delivered unpacked
};

// Files of at least this size are fetched in ranges of this size when the server answers ranges.
inline constexpr std::uint32_t kPartSize = 8388608;
inline constexpr std::uint32_t kRangedMinimum = 16777216;
// The largest download whose part offsets stay within 32 bits: 4 GiB - 8 MiB.
inline constexpr std::uint32_t kMaxDownloadSize = 4286578688u;
// ERROR_FILE_TOO_LARGE: the planning failure for a download above kMaxDownloadSize.
inline constexpr os::ErrorCode kErrorFileTooLarge = 223;

// Why planning stopped: the manifest path of the entry and the Windows error code.
struct PlanFailure {
  std::string file;
  os::ErrorCode error_code = os::kErrorSuccess;
};

// The download size of an entry: its packed size when it has one, else its size.
std::uint32_t download_size(const DownloadEntry& entry);

// Builds `table` and `pool` afresh from `files` (in manifest order): one staging file per distinct
// sha256 below `staging_dir`, opened and sized (resuming what an earlier run finished), and the
// missing parts queued largest first. Ranges of kPartSize are used for downloads of at least
// kRangedMinimum bytes when `ranges_ok`. An entry whose path is already in the table with another
// content is not planned a second time. On false `failure` names the entry and the error, and every
// staging file opened so far is closed again.
[[nodiscard]] bool plan_downloads(const std::vector<DownloadEntry>& files, bool ranges_ok,
                                  std::wstring_view staging_dir, FileTable& table,
                                  DownloadPool& pool, PlanFailure& failure);

}  // namespace corvane
