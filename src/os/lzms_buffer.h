#pragma once
#include <cstddef>

// The system's LZMS decompressor in buffer mode: the Windows Compression API of Cabinet.dll, which
// reads the packed-file framing itself (header and chunks) and decodes a whole packed file in one
// call. Windows only: the Linux build decodes the frames chunk by chunk with libwim (os/lzms.h).
// Cabinet.dll is looked up when first needed, so that a system without the API (Wine has none)
// fails the packed file instead of failing to start or aborting the program.
namespace corvane::os {

// The system provides the decompressor.
bool lzms_buffer_decoder_available();

// Decodes the whole packed file `packed` (`packed_size` bytes, framing included) into exactly
// `out_size` bytes at `out`. False when the decompressor is missing or cannot be created, when the
// system refuses the data, or when it produces another number of bytes. LZMS has no checksum:
// true does not prove that the bytes are right.
[[nodiscard]] bool decompress_lzms_buffer(const void* packed, std::size_t packed_size, void* out,
                                          std::size_t out_size);

}  // namespace corvane::os
