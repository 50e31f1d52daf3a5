#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "update/chunk_index.h"

// How a file is built from the chunks the disk already has and byte ranges of the new file: a
// chunk whose SHA-256 and length a local file has is copied from there, every other chunk is
// fetched, adjacent ones in one range.
namespace corvane {

struct ChunkCopy {
  std::uint32_t source = 0;  // index into the local sources
  std::uint64_t from = 0;    // offset in the source
  std::uint64_t to = 0;      // offset in the new file
  std::uint64_t length = 0;
};

struct FetchRange {
  std::uint64_t offset = 0;  // in the new file, which is also the offset on the server
  std::uint64_t length = 0;
  std::size_t first_chunk = 0;  // index chunks [first_chunk, first_chunk + chunk_count)
  std::size_t chunk_count = 0;
};

struct DeltaPlan {
  std::vector<ChunkCopy> copies;   // contiguous runs merged
  std::vector<FetchRange> fetches;  // in file order
  std::uint64_t fetch_bytes = 0;
};

// Chunks whose index is marked in `done` (fetched by an earlier run; may be empty) are neither
// copied nor fetched. A fetch range never grows beyond `max_range` bytes unless one chunk does,
// so that a large change spreads over the connections.
DeltaPlan plan_delta(const ChunkIndex& index, const std::vector<std::vector<Chunk>>& sources,
                     const std::vector<bool>& done, std::uint64_t max_range);

}  // namespace corvane
