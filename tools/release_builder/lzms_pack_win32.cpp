// Windows: the system's compressor (Compression API, buffer mode) packs the whole file, header and
// chunk records included, so a release built on Windows carries frames that Windows itself wrote.
// Its frame is then read back with the frame check every reader applies: a layout the readers
// would refuse is never published.
#include <vector>

#include "os/lzms_buffer.h"
#include "release_builder/lzms_pack.h"
#include "update/lzms_frame.h"

namespace corvane::tools {

bool lzms_packing_available() { return os::lzms_buffer_encoder_available(); }

bool pack_lzms(std::span<const std::uint8_t> content, std::uint64_t block_size, std::string& frame) {
  frame.clear();
  if (content.empty() || !lzms_block_size_allowed(block_size)) return false;
  std::vector<std::uint8_t> packed;
  if (!os::compress_lzms_buffer(content.data(), content.size(), static_cast<std::uint32_t>(block_size), packed)) {
    return false;
  }
  LzmsFrameLayout layout;
  if (!check_lzms_frame(packed, content.size(), layout)) return false;
  frame.assign(packed.begin(), packed.end());
  return true;
}

}  // namespace corvane::tools
