// libwim's LZMS codec as the Linux build wraps it (os/lzms.h): the inputs that would crash it are
// refused before it sees them.
#include "os/lzms.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace corvane {
namespace {

constexpr std::size_t kBlock = 65536;

TEST(LzmsCodec, RefusesInputsThatWouldCrashTheCodec) {
  os::LzmsDecompressor d;
  ASSERT_TRUE(d.create(kBlock));
  alignas(4) std::uint8_t in[8] = {};
  static std::uint8_t out[kBlock + 1] = {};
  for (const std::size_t out_size : {std::size_t{0}, std::size_t{1}, std::size_t{2}}) {
    EXPECT_FALSE(d.decompress(in, 4, out, out_size)) << out_size;
  }
  EXPECT_FALSE(d.decompress(in, 3, out, 16));      // odd input
  EXPECT_FALSE(d.decompress(in, 2, out, 16));      // too short
  EXPECT_FALSE(d.decompress(in + 1, 4, out, 16));  // misaligned
  EXPECT_FALSE(d.decompress(in, 4, out, kBlock + 1));  // above the block size

  os::LzmsCompressor c;
  ASSERT_TRUE(c.create(kBlock));
  EXPECT_EQ(c.compress("abc", 3, out, sizeof out), 0u);
  EXPECT_FALSE(os::LzmsDecompressor().decompress(in, 4, out, 16));  // never created
}

}  // namespace
}  // namespace corvane
