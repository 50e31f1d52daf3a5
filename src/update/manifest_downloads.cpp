#include <vector>

#include "net/download_plan.h"
#include "update/manifest.h"

// The manifest's entries handed to the download planning, which knows nothing of the manifest.
namespace corvane {

DownloadEntry download_entry(const ManifestFile& entry) {
  return DownloadEntry{entry.path, file_url_path(entry), entry.sha256, entry.size, entry.packed_size};
}

bool plan_downloads(const std::vector<ManifestFile>& files, bool ranges_ok, std::wstring_view staging_dir,
                    FileTable& table, DownloadPool& pool, PlanFailure& failure) {
  std::vector<DownloadEntry> entries;
  entries.reserve(files.size());
  for (const ManifestFile& file : files) entries.push_back(download_entry(file));
  return plan_downloads(entries, ranges_ok, staging_dir, table, pool, failure);
}

}  // namespace corvane
