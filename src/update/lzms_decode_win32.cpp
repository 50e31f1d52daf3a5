// Windows: once the layout has been checked here, the system's Compression API decodes the whole
// frame in one call (os/lzms_buffer.h), reading the header and the chunks itself.
#include "os/lzms_buffer.h"
#include "update/lzms_frame.h"

namespace corvane {

bool decode_lzms_frame(std::span<const std::uint8_t> frame, std::span<std::uint8_t> out) {
  LzmsFrameLayout layout;
  if (!check_lzms_frame(frame, out.size(), layout)) return false;
  // Empty content has no chunk: there is nothing to decode.
  if (out.empty()) return true;
  return os::decompress_lzms_buffer(frame.data(), frame.size(), out.data(), out.size());
}

bool lzms_decoding_available() { return os::lzms_buffer_decoder_available(); }

}  // namespace corvane
