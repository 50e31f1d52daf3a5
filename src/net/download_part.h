#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// One unit of work of the download pool, and the pool's shared state.
namespace corvane {

struct DownloadPart {
  std::string file_key;        // manifest path of the file the part belongs to (UTF-8)
  std::string url_path;        // server path of the file, relative to the base path (UTF-8)
  std::uint32_t file_size = 0; // bytes of the whole download
  std::uint32_t offset = 0;    // first byte of the part within the file
  std::uint32_t length = 0;    // bytes of the part; 0: the whole file in one request, no Range header
};

// The number of bytes a successful fetch of `part` delivers.
inline std::uint64_t expected_bytes(const DownloadPart& part) {
  return part.length != 0 ? part.length : part.file_size;
}

// Fixed before the workers start; afterwards only the atomics change.
struct DownloadPool {
  std::vector<DownloadPart> parts;           // the queue, largest part first
  std::atomic<std::uint64_t> next_index{0};  // next part to claim
  std::atomic<std::uint64_t> bytes_done{0};  // bytes received, plus those complete from earlier runs
  std::atomic<std::uint32_t> parts_done{0};
  std::atomic<std::uint32_t> parts_failed{0};  // parts that failed every attempt, or were never tried
  std::atomic<std::uint32_t> parts_fatal{0};   // failed parts whose last attempt was fatal
  std::atomic<std::uint32_t> workers_running{0};
  // Set by the pool's caller to stop the download (the user closed the window): no part is
  // claimed any more and the parts in hand are given up; null when nothing can stop it.
  const std::atomic<bool>* cancel = nullptr;
  // Wakes the thread that runs the pool as soon as the last worker has ended, so that the end of a
  // download is not noticed only at the next progress report.
  std::mutex end_lock;
  std::condition_variable worker_ended;
};

}  // namespace corvane
