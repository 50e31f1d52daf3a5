// Linux: the frame is decoded chunk by chunk here, raw chunks copied and compressed ones handed to
// libwim's LZMS decoder (os/lzms.h).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "os/lzms.h"
#include "update/lzms_frame.h"

namespace corvane {
namespace {

bool decode_chunk(const LzmsChunk& chunk, std::span<std::uint8_t> out, os::LzmsDecompressor& decompressor,
                  std::vector<std::uint16_t>& aligned) {
  std::uint8_t* target = out.data() + chunk.out_offset;
  if (chunk.raw) {
    std::memcpy(target, chunk.stored.data(), chunk.out_size);
    return true;
  }
  const void* input = chunk.stored.data();
  if (reinterpret_cast<std::uintptr_t>(input) % alignof(std::uint16_t) != 0) {
    // The codec reads 16-bit units and needs them at an even address.
    aligned.resize(chunk.stored.size() / 2);
    std::memcpy(aligned.data(), chunk.stored.data(), chunk.stored.size());
    input = aligned.data();
  }
  return decompressor.decompress(input, chunk.stored.size(), target, chunk.out_size);
}

}  // namespace

bool decode_lzms_frame(std::span<const std::uint8_t> frame, std::span<std::uint8_t> out) {
  LzmsFrameLayout layout;
  if (!check_lzms_frame(frame, out.size(), layout)) return false;
  os::LzmsDecompressor decompressor;
  bool decompressor_ready = false;
  std::vector<std::uint16_t> aligned;
  LzmsChunkWalker walker(frame, layout);
  LzmsChunk chunk;
  while (walker.next(chunk)) {
    if (!chunk.raw && !decompressor_ready) {
      if (!decompressor.create(static_cast<std::size_t>(std::min(layout.block_size, layout.total_size)))) {
        return false;
      }
      decompressor_ready = true;
    }
    if (!decode_chunk(chunk, out, decompressor, aligned)) return false;
  }
  return walker.complete();
}

bool lzms_decoding_available() { return true; }

}  // namespace corvane
