#pragma once
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "os/file.h"

// One distinct file content of an update run on its way into the staging folder. Owned by the
// run's file table; workers write through `handle` and record finished parts under `lock`.
namespace corvane {

struct DownloadFile {
  std::wstring data_path;   // staging + sep + hash + ".lzms" (packed) or ".raw"
  std::wstring parts_path;  // staging + sep + hash + ".parts": the resume record
  std::wstring raw_path;    // staging + sep + hash + ".raw": the content (== data_path unpacked)
  std::uint32_t size = 0;       // download size: the packed size for a packed file
  std::uint32_t part_size = 0;  // 8388608 when fetched in byte ranges, 0 when fetched whole
  std::uint64_t part_count = 0; // ceil(size / part_size), or 1
  bool packed = false;
  os::File handle;              // data_path, open for reading and writing while the pool runs
  std::mutex lock;              // guards done_offsets and appends to the resume file
  std::set<std::uint32_t> done_offsets;
};

}  // namespace corvane
