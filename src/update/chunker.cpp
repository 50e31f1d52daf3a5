#include "update/chunker.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "os/file.h"

namespace corvane {
namespace {

// The gear table: 256 fixed pseudo-random words (splitmix64 from a fixed seed). Builder and clients
// must agree on it forever; a different table needs a new index format.
constexpr std::array<std::uint64_t, 256> make_gear() {
  std::array<std::uint64_t, 256> table{};
  std::uint64_t state = 0x43525648'4E4B3031ull;
  for (auto& word : table) {
    state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    word = z ^ (z >> 31);
  }
  return table;
}
constexpr std::array<std::uint64_t, 256> kGear = make_gear();

// The top `bits` bits of the hash: with the hash shifted left once per byte they depend on the
// last 64 bytes only.
constexpr std::uint64_t top_bits(unsigned bits) { return bits == 0 ? 0 : ~std::uint64_t{0} << (64 - bits); }

unsigned log2_of(std::uint32_t value) {
  unsigned bits = 0;
  while ((std::uint32_t{1} << (bits + 1)) <= value) ++bits;
  return bits;
}

}  // namespace

bool chunk_hash(const void* data, std::size_t size, os::Sha256Digest& digest) {
  os::Sha256 hash;
  if (!hash.begin() || !hash.update(data, size) || !hash.finish(digest)) return false;
  std::fill(digest.begin() + kChunkHashSize, digest.end(), std::uint8_t{0});
  return true;
}

bool chunk_params_valid(const ChunkParams& p) {
  const bool power_of_two = p.avg_size != 0 && (p.avg_size & (p.avg_size - 1)) == 0;
  return p.min_size >= 4096 && p.max_size <= (4u << 20) && p.min_size < p.avg_size && p.avg_size < p.max_size &&
         power_of_two;
}

std::size_t find_chunk_cut(const std::uint8_t* data, std::size_t size, const ChunkParams& params) {
  if (size <= params.min_size) return size;
  const std::size_t end = size < params.max_size ? size : params.max_size;
  const std::size_t normal = end < params.avg_size ? end : params.avg_size;
  // Normalised chunking: a harder mask before the average size and an easier one after it draws
  // the chunk sizes close to the average.
  const unsigned bits = log2_of(params.avg_size);
  const std::uint64_t hard = top_bits(bits + 2);
  const std::uint64_t easy = top_bits(bits - 2);
  std::uint64_t hash = 0;
  std::size_t i = params.min_size;
  for (; i < normal; ++i) {
    hash = (hash << 1) + kGear[data[i]];
    if ((hash & hard) == 0) return i + 1;
  }
  for (; i < end; ++i) {
    hash = (hash << 1) + kGear[data[i]];
    if ((hash & easy) == 0) return i + 1;
  }
  return end;
}

bool chunk_bytes(std::string_view bytes, const ChunkParams& params, std::vector<Chunk>& out) {
  out.clear();
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    const std::size_t length = find_chunk_cut(data + offset, bytes.size() - offset, params);
    Chunk chunk{offset, static_cast<std::uint32_t>(length), {}};
    if (!chunk_hash(data + offset, length, chunk.sha256)) return false;
    out.push_back(chunk);
    offset += length;
  }
  return true;
}

os::ErrorCode chunk_file(std::wstring_view path, const ChunkParams& params, std::vector<Chunk>& out) {
  out.clear();
  os::File file;
  if (const os::ErrorCode e = file.open(path, os::OpenMode::ReadExisting)) return e;
  // Four maximal chunks: refilled whenever less than one maximal chunk is left unchunked.
  const std::size_t capacity = std::size_t{params.max_size} * 4;
  const auto buffer = std::make_unique<std::uint8_t[]>(capacity);
  std::size_t begin = 0;
  std::size_t filled = 0;
  std::uint64_t file_offset = 0;
  bool at_end = false;
  for (;;) {
    if (!at_end && filled - begin < params.max_size) {
      std::memmove(buffer.get(), buffer.get() + begin, filled - begin);
      filled -= begin;
      begin = 0;
      while (filled < capacity) {
        std::size_t got = 0;
        if (const os::ErrorCode e = file.read(buffer.get() + filled, capacity - filled, got)) return e;
        if (got == 0) {
          at_end = true;
          break;
        }
        filled += got;
      }
    }
    if (begin == filled) return os::kErrorSuccess;
    const std::size_t length = find_chunk_cut(buffer.get() + begin, filled - begin, params);
    Chunk chunk{file_offset, static_cast<std::uint32_t>(length), {}};
    if (!chunk_hash(buffer.get() + begin, length, chunk.sha256)) return os::kErrorGenFailure;
    out.push_back(chunk);
    begin += length;
    file_offset += length;
  }
}

}  // namespace corvane
