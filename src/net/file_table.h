#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "net/download_file.h"

// The staging files of one update run, by manifest path. Built by plan_downloads; while the pool
// runs only `files_done` and the members guarded by each file's lock change.
namespace corvane {

struct FileTable {
  std::unordered_map<std::string, DownloadFile> files;  // manifest path -> its download
  std::atomic<std::uint32_t> files_done{0};  // files whose parts are all complete
  std::uint64_t bytes_total = 0;             // sum of `size` over `files`
};

}  // namespace corvane
