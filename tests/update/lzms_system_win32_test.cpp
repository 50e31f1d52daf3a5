// The Windows build decodes packed files with the system's Compression API, looked up in
// Cabinet.dll at run time. Where the system lacks it (Wine has none), a packed file fails its
// verification and nothing else happens: no abort, and unpacked files verify as before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/lzms_buffer.h"
#include "os/text.h"
#include "support/temp_dir.h"
#include "update/lzms_frame.h"
#include "update/verification.h"

namespace corvane {
namespace {

using test::TempDir;

// "abcdefghij" in one chunk stored raw: a frame that passes every check of its layout.
std::string valid_frame() {
  const auto header = lzms_frame_header(10, 10);
  std::string frame(reinterpret_cast<const char*>(header.data()), header.size());
  frame += std::string("\x0A\0\0\0", 4) + "abcdefghij";
  return frame;
}

constexpr char kAbcdefghijSha[] = "72399361da6a7754fec986dca5b7cbaf1c810a28ded4abaf56b2106d06cb78b0";

TEST(SystemLzms, AMissingDecompressorFailsThePackedFileAndNothingElse) {
  if (lzms_decoding_available()) GTEST_SKIP() << "this system has the Compression API's LZMS decompressor";
  EXPECT_FALSE(os::lzms_buffer_decoder_available());

  const std::string frame = valid_frame();
  const std::vector<std::uint8_t> bytes(frame.begin(), frame.end());
  LzmsFrameLayout layout;
  ASSERT_TRUE(check_lzms_frame(bytes, 10, layout)) << "the frame itself is fine";
  std::vector<std::uint8_t> out(10, 0xAA);
  EXPECT_FALSE(decode_lzms_frame(bytes, out));
  // Empty content needs no decoder.
  const auto empty = lzms_frame_header(0, 0);
  EXPECT_TRUE(decode_lzms_frame(std::vector<std::uint8_t>(empty.begin(), empty.end()), {}));

  TempDir staging;
  DownloadFile packed;
  packed.packed = true;
  packed.data_path = staging / L"p.lzms";
  packed.raw_path = staging / L"p.raw";
  packed.parts_path = staging / L"p.parts";
  packed.size = static_cast<std::uint32_t>(frame.size());
  test::write_text(packed.data_path, frame);
  const ManifestFile entry{"bin/p.dll", kAbcdefghijSha, 10, static_cast<std::uint32_t>(frame.size())};
  // Asked twice: the lookup of the missing API is made once and stays an answer, not a crash.
  EXPECT_FALSE(verify_download(packed, entry));
  EXPECT_FALSE(verify_download(packed, entry));

  DownloadFile plain;
  plain.data_path = plain.raw_path = staging / L"r.raw";
  plain.parts_path = staging / L"r.parts";
  plain.size = 10;
  test::write_text(plain.raw_path, "abcdefghij");
  EXPECT_TRUE(verify_download(plain, ManifestFile{"bin/r.dll", kAbcdefghijSha, 10, 0}));
}

}  // namespace
}  // namespace corvane
