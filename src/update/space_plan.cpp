#include "update/space_plan.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "base/paths.h"
#include "net/download_plan.h"
#include "os/fs.h"
#include "os/text.h"

namespace corvane {
namespace {

// A plain file of exactly `size` bytes is staged: its blocks were reserved when it was sized.
bool staged_at_length(std::wstring_view path, std::uint64_t size) {
  const auto info = os::file_info(path);
  return info && info->is_regular && info->size == size;
}

}  // namespace

std::uint64_t bytes_to_write(const std::vector<ManifestFile>& changed, std::wstring_view staging_dir,
                             const std::set<std::string>* delta_contents) {
  std::uint64_t bytes = 0;
  std::unordered_set<std::string> contents;
  for (const ManifestFile& entry : changed) {
    if (!contents.insert(entry.sha256).second) {
      bytes += entry.size;  // a copy of the first entry with this content
      continue;
    }
    const std::wstring stem = join_path(staging_dir, os::from_utf8(entry.sha256));
    const bool packed = entry.packed_size != 0;
    std::uint64_t whole = 0;
    if (!staged_at_length(stem + (packed ? L".lzms" : L".raw"), download_size(entry))) whole += download_size(entry);
    if (packed && !staged_at_length(stem + L".raw", entry.size)) whole += entry.size;
    std::uint64_t delta = 0;
    if (delta_contents != nullptr && delta_contents->count(entry.sha256) != 0 &&
        !staged_at_length(stem + L".delta", entry.size)) {
      delta = entry.size;
    }
    bytes += std::max(whole, delta);
  }
  return bytes;
}

}  // namespace corvane
