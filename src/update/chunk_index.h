#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "update/chunker.h"

// The chunk index of a file, published beside it as "<file>.chunks": the chunking parameters and
// every chunk of the file in order. Little-endian binary:
//   header (32 bytes): "CRVNCHK1", u32 min_size, u32 avg_size, u32 max_size, u64 file size,
//                      u32 chunk count
//   per chunk (28 bytes): u64 offset, u32 length, the first 16 bytes of its SHA-256
// At 32 KiB average that is about 0.085 % of the file.
namespace corvane {

inline constexpr std::size_t kChunkIndexHeaderSize = 32;
inline constexpr std::size_t kChunkIndexEntrySize = 28;
// No index is read above this: 4 GiB - 8 MiB cut at every 8 KiB (the default minimum) needs 14.6 MB.
inline constexpr std::uint32_t kMaxChunkIndexSize = 16u << 20;

struct ChunkIndex {
  ChunkParams params;
  std::uint64_t file_size = 0;
  std::vector<Chunk> chunks;
};

std::string write_chunk_index(const ChunkIndex& index);

// False unless `bytes` is exactly one index of a file of `file_size` bytes: the magic, parameters a
// client accepts, the chunk count matching the length, chunks that follow one another from 0
// without a gap or overlap and add up to the size, no chunk empty or above max_size, and at most
// one chunk per min_size bytes (rounded up).
[[nodiscard]] bool read_chunk_index(std::string_view bytes, std::uint64_t file_size, ChunkIndex& index);

}  // namespace corvane
