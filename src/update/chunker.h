#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "os/error.h"
#include "os/sha256.h"

// Content-defined chunking of a file (a gear-hash rolling cut, FastCDC style with normalised
// chunk sizes): a cut depends only on the 64 bytes before it, so an insertion or deletion moves the
// cuts near it and leaves every later cut on the same content.
namespace corvane {

// Sizes in bytes. An average of 32 KiB makes a change of a few bytes cost about one chunk on the
// wire (measured: about 1.5 times the bytes a fixed-block range tool fetches for 1 % changed in 100
// places, where 64 KiB chunks cost 2.1 times) while the index stays near 0.085 % of the file (28
// bytes per chunk); the minimum of 8 KiB bounds the number of chunks, and so the index, at one per
// 8 KiB whatever the content; the maximum of 128 KiB bounds what one changed byte costs in content
// that has no cuts (runs of zeros).
struct ChunkParams {
  std::uint32_t min_size = 8192;
  std::uint32_t avg_size = 32768;  // a power of two
  std::uint32_t max_size = 131072;
};

inline constexpr ChunkParams kDefaultChunkParams{};

// Parameters a client accepts from an index: min >= 4 KiB, max <= 4 MiB, min < avg < max, avg a
// power of two.
bool chunk_params_valid(const ChunkParams& params);

// A chunk is known by the first kChunkHashSize bytes of its SHA-256 (the rest of `sha256` is
// zero): 128 bits tell chunks apart, and the whole file's SHA-256 is checked after it is built.
inline constexpr std::size_t kChunkHashSize = 16;

struct Chunk {
  std::uint64_t offset = 0;
  std::uint32_t length = 0;
  os::Sha256Digest sha256{};
};

// The chunk hash of `size` bytes: their SHA-256 with all but the first kChunkHashSize bytes zeroed.
[[nodiscard]] bool chunk_hash(const void* data, std::size_t size, os::Sha256Digest& digest);

// The length of the chunk that starts at `data`, given `size` bytes from there: `size` itself when
// it is at most min_size, never more than max_size. Callers pass at least max_size bytes unless
// the rest of the file is shorter.
std::size_t find_chunk_cut(const std::uint8_t* data, std::size_t size, const ChunkParams& params);

// Chunks of bytes in memory, each with its SHA-256; false when hashing fails.
[[nodiscard]] bool chunk_bytes(std::string_view bytes, const ChunkParams& params, std::vector<Chunk>& out);

// Chunks the file at `path` in one sequential pass, reading each byte once, with a buffer of a few
// max_size; `out` is in file order. Returns the error code of the open or a read, 0 on success.
[[nodiscard]] os::ErrorCode chunk_file(std::wstring_view path, const ChunkParams& params, std::vector<Chunk>& out);

}  // namespace corvane
