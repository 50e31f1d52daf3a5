// The Windows build of the tools has no LZMS encoder: libwim is the Linux build's, and the system's
// Compression API would write frames of its own making rather than this builder's chunks. Releases
// with packed files are built on Linux.
#include "release_builder/lzms_pack.h"

namespace corvane::tools {

bool lzms_packing_available() { return false; }

bool pack_lzms(std::span<const std::uint8_t>, std::uint64_t, std::string& frame) {
  frame.clear();
  return false;
}

}  // namespace corvane::tools
