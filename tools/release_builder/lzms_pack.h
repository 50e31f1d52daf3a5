#pragma once
#include <cstdint>
#include <span>
#include <string>

// Writes packed client files in the framing that update/lzms_frame reads.
namespace corvane::tools {

// Packs `content` into `frame` in chunks of `block_size` bytes (1 .. 64 MiB). Chunks that the LZMS
// codec cannot shrink into an acceptable chunk, and chunks under 4 bytes, are stored raw. False
// when the codec cannot be set up or the sizes are out of range.
[[nodiscard]] bool pack_lzms(std::span<const std::uint8_t> content, std::uint64_t block_size, std::string& frame);

}  // namespace corvane::tools
