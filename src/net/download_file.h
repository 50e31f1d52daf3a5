#pragma once
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "os/file.h"
#include "os/sha256.h"

// One distinct file content of an update run on its way into the staging folder. Owned by the
// run's file table; workers write through `handle` and record finished parts under `lock`.
namespace corvane {

// The SHA-256 of a download that is not packed, taken while the pool runs so that verification
// need not read the file once more (net/arrival_hash.h). A file fetched whole is hashed by its one
// worker, alone; for a file fetched in ranges, `lock` guards every member but `hash`, which only
// the worker that set `busy` touches.
struct ArrivalHash {
  os::Sha256 hash;            // over the first `hashed` bytes of the file, in file order
  std::uint64_t hashed = 0;
  bool begun = false;         // `hash` is under way
  bool busy = false;          // a worker is reading completed parts back into `hash`
  bool spoiled = false;       // bytes were written again after they may have been hashed
  bool complete = false;      // `digest` covers every byte of the file
  os::Sha256Digest digest{};
};

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
  ArrivalHash arrival;          // unused for a packed download: its unpacked content is hashed
};

}  // namespace corvane
