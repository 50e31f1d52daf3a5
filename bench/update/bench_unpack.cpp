// corvane-bench-unpack SIZE PACKED OUT [SIZE PACKED OUT]...
// Unpacks packed client files (the release's .lzms framing) with the engine's decoder, for the
// baseline of the update benchmark, which has no other decoder of that framing.
#include <cstdio>
#include <cstdlib>

#include "os/fs.h"
#include "os/text.h"
#include "update/verification.h"

int main(int argc, char** argv) {
  using namespace corvane;
  if (argc < 4 || (argc - 1) % 3 != 0) {
    std::fputs("usage: corvane-bench-unpack SIZE PACKED OUT [SIZE PACKED OUT]...\n", stderr);
    return 2;
  }
  for (int i = 1; i < argc; i += 3) {
    const auto size = static_cast<std::uint32_t>(std::strtoul(argv[i], nullptr, 10));
    const std::wstring packed = os::from_utf8(argv[i + 1]);
    const auto info = os::file_info(packed);
    if (!info || !unpack_lzms(packed, static_cast<std::uint32_t>(info->size), os::from_utf8(argv[i + 2]), size)) {
      std::fprintf(stderr, "cannot unpack %s\n", argv[i + 1]);
      return 1;
    }
  }
  return 0;
}
