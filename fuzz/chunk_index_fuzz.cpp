// Chunk index reader: any bytes either fail or give chunks that tile the file exactly, within the
// bounds of parameters a client accepts, and that write back to the same bytes. The first eight
// input bytes choose the file size the index is read against.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "update/chunk_index.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  std::uint64_t file_size = 0;
  std::memcpy(&file_size, data, 8);
  file_size %= std::uint64_t{1} << 33;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 8), size - 8);
  corvane::ChunkIndex index;
  if (!corvane::read_chunk_index(bytes, file_size, index)) return 0;
  if (!corvane::chunk_params_valid(index.params) || index.file_size != file_size) __builtin_trap();
  std::uint64_t next = 0;
  for (const corvane::Chunk& chunk : index.chunks) {
    if (chunk.offset != next || chunk.length == 0 || chunk.length > index.params.max_size) __builtin_trap();
    next += chunk.length;
  }
  if (next != file_size || corvane::write_chunk_index(index) != bytes) __builtin_trap();
  return 0;
}
