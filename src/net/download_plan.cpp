#include "net/download_plan.h"

#include <algorithm>
#include <unordered_set>

#include "base/paths.h"
#include "net/download_pool.h"
#include "net/resume.h"
#include "os/text.h"

namespace corvane {
namespace {

void reset_pool(DownloadPool& pool) {
  pool.parts.clear();
  pool.next_index = 0;
  pool.bytes_done = 0;
  pool.parts_done = 0;
  pool.parts_failed = 0;
  pool.parts_fatal = 0;
  pool.workers_running = 0;
}

void describe_file(DownloadFile& file, const DownloadEntry& entry, bool ranges_ok,
                   std::wstring_view staging_dir) {
  const std::wstring stem = join_path(staging_dir, os::from_utf8(entry.sha256));
  file.packed = entry.packed_size != 0;
  file.size = download_size(entry);
  file.raw_path = stem + L".raw";
  file.data_path = file.packed ? stem + L".lzms" : file.raw_path;
  file.parts_path = stem + L".parts";
  file.part_size = ranges_ok && file.size >= kRangedMinimum ? kPartSize : 0;
  file.part_count = file.part_size != 0 ? (std::uint64_t{file.size} + kPartSize - 1) / kPartSize : 1;
}

// Queues the parts of `file` that are not complete yet; returns the bytes of those that are.
std::uint64_t queue_parts(DownloadFile& file, const DownloadEntry& entry, DownloadPool& pool) {
  std::uint64_t done = 0;
  const auto queue = [&](std::uint32_t offset, std::uint32_t length) {
    pool.parts.push_back(DownloadPart{entry.path, entry.url_path, file.size, offset, length});
  };
  if (file.part_size != 0) {
    for (std::uint64_t offset = 0; offset < file.size; offset += file.part_size) {
      const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(file.part_size, file.size - offset));
      if (file.done_offsets.count(static_cast<std::uint32_t>(offset)) != 0) {
        done += length;
      } else {
        queue(static_cast<std::uint32_t>(offset), length);
      }
    }
  } else if (file.size > 0 && file.done_offsets.count(0) == 0) {
    queue(0, 0);
  } else {
    file.done_offsets.insert(0);
    done += file.size;
  }
  return done;
}

}  // namespace

std::uint32_t download_size(const DownloadEntry& entry) {
  return entry.packed_size != 0 ? entry.packed_size : entry.size;
}

bool plan_downloads(const std::vector<DownloadEntry>& files, bool ranges_ok,
                    std::wstring_view staging_dir, FileTable& table, DownloadPool& pool,
                    PlanFailure& failure) {
  failure = PlanFailure{};
  table.files.clear();
  table.files_done = 0;
  table.bytes_total = 0;
  reset_pool(pool);

  const auto fail = [&](const DownloadEntry& entry, os::ErrorCode code) {
    failure.file = entry.path;
    failure.error_code = code;
    close_download_files(table);
    pool.parts.clear();
    return false;
  };

  std::unordered_set<std::string> planned_hashes;
  std::uint64_t bytes_already_done = 0;
  for (const DownloadEntry& entry : files) {
    if (!planned_hashes.insert(entry.sha256).second) continue;
    if (table.files.count(entry.path) != 0) continue;
    if (download_size(entry) > kMaxDownloadSize) return fail(entry, kErrorFileTooLarge);

    DownloadFile& file = table.files.try_emplace(entry.path).first->second;
    describe_file(file, entry, ranges_ok, staging_dir);
    if (const os::ErrorCode e = open_download_file(file)) {
      table.files.erase(entry.path);
      return fail(entry, e);
    }
    table.bytes_total += file.size;
    bytes_already_done += queue_parts(file, entry, pool);
    if (file.done_offsets.size() == file.part_count) table.files_done.fetch_add(1);
  }

  std::stable_sort(pool.parts.begin(), pool.parts.end(),
                   [](const DownloadPart& a, const DownloadPart& b) {
                     return expected_bytes(a) > expected_bytes(b);
                   });
  pool.bytes_done = bytes_already_done;
  return true;
}

}  // namespace corvane
