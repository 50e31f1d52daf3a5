#pragma once
#include <cstdint>
#include <span>
#include <string>

// Writes packed client files in the framing that update/lzms_frame reads. Only the Linux build
// can pack (libwim's LZMS encoder); the Windows build of the tools has no encoder.
namespace corvane::tools {

// This build can pack files.
bool lzms_packing_available();

// Packs `content` into `frame` in chunks of `block_size` bytes (1 .. 64 MiB). Chunks that the LZMS
// codec cannot shrink into an acceptable chunk, and chunks under 4 bytes, are stored raw. False
// when the codec cannot be set up, the sizes are out of range, or this build cannot pack.
[[nodiscard]] bool pack_lzms(std::span<const std::uint8_t> content, std::uint64_t block_size, std::string& frame);

}  // namespace corvane::tools
