#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// The system's LZMS codec in buffer mode: the Windows Compression API of Cabinet.dll, which reads
// and writes the packed-file framing itself (header and chunks) and handles a whole packed file in
// one call. Windows only: the Linux build works on the frames chunk by chunk with libwim
// (os/lzms.h). Cabinet.dll is looked up when first needed, so that a system without the API (Wine
// has none) fails the packed file instead of failing to start or aborting the program.
namespace corvane::os {

// The system provides the decompressor.
bool lzms_buffer_decoder_available();

// Decodes the whole packed file `packed` (`packed_size` bytes, framing included) into exactly
// `out_size` bytes at `out`. False when the decompressor is missing or cannot be created, when the
// system refuses the data, or when it produces another number of bytes. LZMS has no checksum:
// true does not prove that the bytes are right.
[[nodiscard]] bool decompress_lzms_buffer(const void* packed, std::size_t packed_size, void* out,
                                          std::size_t out_size);

// The system provides the compressor.
bool lzms_buffer_encoder_available();

// Packs `size` bytes at `content` into `packed` (framing included) in blocks of `block_size`
// bytes, which the caller has checked against the API's range. False, with `packed` empty, when the
// compressor is missing, refuses the block size or fails.
[[nodiscard]] bool compress_lzms_buffer(const void* content, std::size_t size, std::uint32_t block_size,
                                        std::vector<std::uint8_t>& packed);

}  // namespace corvane::os
