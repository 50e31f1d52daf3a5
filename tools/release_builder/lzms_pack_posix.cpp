// Linux: libwim's encoder packs each block; the header and the chunk records are written here as
// update/lzms_frame describes them.
#include "release_builder/lzms_pack.h"

#include <algorithm>
#include <vector>

#include "os/lzms.h"
#include "update/lzms_frame.h"

namespace corvane::tools {
namespace {

void append_u32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

bool lzms_packing_available() { return true; }

bool pack_lzms(std::span<const std::uint8_t> content, std::uint64_t block_size, std::string& frame) {
  frame.clear();
  if (content.empty() || !lzms_block_size_allowed(block_size)) return false;
  const auto header = lzms_frame_header(content.size(), lzms_header_block_field(content.size(), block_size));
  frame.append(reinterpret_cast<const char*>(header.data()), header.size());

  const std::size_t largest = static_cast<std::size_t>(std::min<std::uint64_t>(block_size, content.size()));
  os::LzmsCompressor compressor;
  if (!compressor.create(largest)) return false;
  std::vector<std::uint8_t> packed(largest);
  for (std::size_t offset = 0; offset < content.size(); offset += largest) {
    const std::span<const std::uint8_t> chunk = content.subspan(offset, std::min(largest, content.size() - offset));
    // Room for one byte less than the chunk: a result that does not fit is not worth keeping. The
    // codec answers 0 for that and for chunks under 4 bytes; those chunks go in raw.
    const std::size_t n = compressor.compress(chunk.data(), chunk.size(), packed.data(), chunk.size() - 1);
    if (lzms_chunk_is_storable_compressed(chunk.size(), n)) {
      append_u32(frame, static_cast<std::uint32_t>(n));
      frame.append(reinterpret_cast<const char*>(packed.data()), n);
    } else {
      append_u32(frame, static_cast<std::uint32_t>(chunk.size()));
      frame.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
    }
  }
  return true;
}

}  // namespace corvane::tools
