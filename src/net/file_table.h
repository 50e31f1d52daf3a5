#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "net/download_file.h"

// The staging files of one update run, by manifest path. Built by plan_downloads; while the pool
// runs only `files_done` and the members guarded by each file's lock change.
namespace corvane {

// Finished parts on their way into the resume records while a pool runs: the workers hand them
// over here, and the pool's recorder thread flushes each file's bytes and then appends its offsets
// (net/resume.h), so that no worker waits for the disk.
struct PendingRecords {
  std::mutex lock;
  std::condition_variable ready;
  std::vector<std::pair<DownloadFile*, std::uint32_t>> parts;  // in the order the parts finished
  bool running = false;  // a recorder takes them; otherwise mark_part_done records at once
  bool stop = false;     // the pool has ended: record what is left and end
};

struct FileTable {
  std::unordered_map<std::string, DownloadFile> files;  // manifest path -> its download
  std::atomic<std::uint32_t> files_done{0};  // files whose parts are all complete
  std::uint64_t bytes_total = 0;             // sum of `size` over `files`
  PendingRecords records;
};

}  // namespace corvane
