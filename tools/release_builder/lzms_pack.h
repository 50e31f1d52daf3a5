#pragma once
#include <cstdint>
#include <span>
#include <string>

// Writes packed client files in the framing that update/lzms_frame reads, which is the buffer
// format of the Windows Compression API. The Linux build encodes the chunks itself with libwim's
// LZMS encoder; the Windows build hands the whole file to the system's compressor, so a release
// built on Windows is packed by Windows itself. Where the system lacks the compressor (Wine), the
// Windows build cannot pack.
namespace corvane::tools {

// This build can pack files here.
bool lzms_packing_available();

// Packs `content` into `frame` in blocks of `block_size` bytes (kLzmsMinBlockSize ..
// kLzmsMaxBlockSize; the header's block-size field is min(content size, block size)). Chunks that
// LZMS cannot shrink are stored raw. False for empty content (an empty file is published plain),
// for a block size out of range, when the encoder cannot be set up or fails, and where this build
// cannot pack.
[[nodiscard]] bool pack_lzms(std::span<const std::uint8_t> content, std::uint64_t block_size, std::string& frame);

}  // namespace corvane::tools
