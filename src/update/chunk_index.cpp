#include "update/chunk_index.h"

#include <cstring>

namespace corvane {
namespace {

constexpr std::string_view kMagic = "CRVNCHK1";

void put(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint64_t get(std::string_view bytes, std::size_t at, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

std::string write_chunk_index(const ChunkIndex& index) {
  std::string out(kMagic);
  put(out, index.params.min_size, 4);
  put(out, index.params.avg_size, 4);
  put(out, index.params.max_size, 4);
  put(out, index.file_size, 8);
  put(out, index.chunks.size(), 4);
  for (const Chunk& chunk : index.chunks) {
    put(out, chunk.offset, 8);
    put(out, chunk.length, 4);
    out.append(reinterpret_cast<const char*>(chunk.sha256.data()), kChunkHashSize);
  }
  return out;
}

bool read_chunk_index(std::string_view bytes, std::uint64_t file_size, ChunkIndex& index) {
  index = ChunkIndex{};
  if (bytes.size() < kChunkIndexHeaderSize || bytes.size() > kMaxChunkIndexSize) return false;
  if (bytes.substr(0, kMagic.size()) != kMagic) return false;
  index.params.min_size = static_cast<std::uint32_t>(get(bytes, 8, 4));
  index.params.avg_size = static_cast<std::uint32_t>(get(bytes, 12, 4));
  index.params.max_size = static_cast<std::uint32_t>(get(bytes, 16, 4));
  index.file_size = get(bytes, 20, 8);
  const std::uint64_t count = get(bytes, 28, 4);
  if (!chunk_params_valid(index.params) || index.file_size != file_size) return false;
  if ((bytes.size() - kChunkIndexHeaderSize) != count * kChunkIndexEntrySize) return false;
  if (count > file_size / index.params.min_size + 1 || (count == 0) != (file_size == 0)) return false;
  index.chunks.resize(static_cast<std::size_t>(count));
  std::uint64_t next = 0;
  for (std::size_t i = 0; i < index.chunks.size(); ++i) {
    const std::size_t at = kChunkIndexHeaderSize + i * kChunkIndexEntrySize;
    Chunk& chunk = index.chunks[i];
    chunk.offset = get(bytes, at, 8);
    const std::uint64_t length = get(bytes, at + 8, 4);
    if (chunk.offset != next || length == 0 || length > index.params.max_size || length > file_size - next) {
      return false;
    }
    chunk.length = static_cast<std::uint32_t>(length);
    std::memcpy(chunk.sha256.data(), bytes.data() + at + 12, kChunkHashSize);
    next += length;
  }
  return next == file_size;
}

}  // namespace corvane
