#include "update/lzms_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/paths.h"
#include "os/text.h"
#include "release_builder/lzms_pack.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The smallest block size Windows accepts: frames of several chunks stay small.
constexpr std::size_t kBlock = kLzmsMinBlockSize;

// The buffers Windows itself wrote, each with its content, and the folder they are in.
constexpr const wchar_t* kWindowsSamples[] = {L"zeros", L"sequential", L"pattern", L"single_byte",
                                              L"english", L"small", L"random"};
std::wstring windows_samples_dir() {
  return join_path(test::build_tree_path(CORVANE_TEST_DATA_DIR), L"windows_lzms");
}

Bytes read_bytes(const std::wstring& path) {
  const std::string text = test::read_text(path);
  return Bytes(text.begin(), text.end());
}

// Text-like content that LZMS shrinks well, different in every block.
Bytes compressible(std::size_t size) {
  Bytes out(size);
  const std::string words = "corvane client update engine block ";
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(words[(i * 7 + i / 97) % words.size()]);
  return out;
}

Bytes random_bytes(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

Bytes pack(const Bytes& content, std::uint64_t block) {
  std::string frame;
  EXPECT_TRUE(tools::pack_lzms(content, block, frame));
  return Bytes(frame.begin(), frame.end());
}

bool decode(const Bytes& frame, Bytes& out) { return decode_lzms_frame(frame, out); }

// Why this build cannot pack and decode real LZMS data here, or empty when it can.
std::string round_trip_missing() {
  if (!tools::lzms_packing_available()) {
    return "the system has no LZMS compressor to make packed files (Wine lacks the Compression API)";
  }
  if (!lzms_decoding_available()) return "the system has no LZMS decompressor (Wine lacks the Compression API)";
  return {};
}

#define SKIP_WITHOUT_ROUND_TRIP()                                      \
  do {                                                                 \
    if (const std::string why = round_trip_missing(); !why.empty()) { \
      GTEST_SKIP() << why;                                             \
    }                                                                  \
  } while (false)

void append_u32(Bytes& frame, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) frame.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A frame written by hand: the header, then (stored size, bytes) per chunk.
Bytes frame_of(std::uint64_t total, std::uint64_t block, const std::vector<std::pair<std::uint32_t, std::string>>& chunks) {
  const auto header = lzms_frame_header(total, block);
  Bytes frame(header.begin(), header.end());
  for (const auto& [stored, bytes] : chunks) {
    append_u32(frame, stored);
    frame.insert(frame.end(), bytes.begin(), bytes.end());
  }
  return frame;
}

TEST(LzmsFrame, RoundTripsEverySizeAroundTheBlockBoundaries) {
  SKIP_WITHOUT_ROUND_TRIP();
  for (const std::size_t size : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{4}, kBlock - 1, kBlock,
                                 kBlock + 1, 3 * kBlock + 5}) {
    SCOPED_TRACE(size);
    const Bytes content = compressible(size);
    const Bytes frame = pack(content, kBlock);
    LzmsFrameLayout layout;
    ASSERT_TRUE(check_lzms_frame(frame, size, layout));
    EXPECT_EQ(layout.chunk_count, (size + kBlock - 1) / kBlock);
    EXPECT_EQ(layout.block_size, std::min(size, kBlock));
    Bytes out(size, 0xAA);
    ASSERT_TRUE(decode(frame, out));
    EXPECT_EQ(out, content);
  }
  // Several blocks of text really are compressed, not stored.
  EXPECT_LT(pack(compressible(3 * kBlock + 5), kBlock).size(), kBlock);
}

// Empty content is never packed; a frame of it, as a reader may still meet one, is the header
// alone with 0 in both size fields, and decodes to nothing without any decoder.
TEST(LzmsFrame, EmptyContentIsAHeaderAloneAndIsNeverPacked) {
  std::string frame = "left over";
  EXPECT_FALSE(tools::pack_lzms({}, kBlock, frame));
  EXPECT_TRUE(frame.empty());
  const Bytes empty = frame_of(0, 0, {});
  LzmsFrameLayout layout;
  ASSERT_TRUE(check_lzms_frame(empty, 0, layout));
  EXPECT_EQ(layout.chunk_count, 0u);
  Bytes out;
  EXPECT_TRUE(decode(empty, out));
  EXPECT_FALSE(check_lzms_frame(empty, 1, layout));
}

TEST(LzmsFrame, IncompressibleChunksAreStoredRawAndRoundTrip) {
  SKIP_WITHOUT_ROUND_TRIP();
  const Bytes content = random_bytes(2 * kBlock + 7, 1);
  const Bytes frame = pack(content, kBlock);
  EXPECT_EQ(frame.size(), kLzmsHeaderSize + 3 * kLzmsChunkPrefixSize + content.size());
  Bytes out(content.size());
  ASSERT_TRUE(decode(frame, out));
  EXPECT_EQ(out, content);
}

TEST(LzmsFrame, CompressedChunkAtAnOddOffsetDecodes) {
  SKIP_WITHOUT_ROUND_TRIP();
  // An odd block size whose first chunk is raw puts the second chunk's data at an odd offset.
  constexpr std::size_t kOddBlock = kBlock + 1;
  Bytes content = random_bytes(kOddBlock, 2);
  const Bytes text = compressible(kOddBlock);
  content.insert(content.end(), text.begin(), text.end());
  const Bytes frame = pack(content, kOddBlock);
  const std::size_t second = kLzmsHeaderSize + kLzmsChunkPrefixSize + kOddBlock;
  ASSERT_GT(frame.size(), second + kLzmsChunkPrefixSize);
  std::uint32_t stored = 0;
  std::memcpy(&stored, frame.data() + second, 4);
  ASSERT_LT(stored, kOddBlock) << "the second chunk should be compressed";
  ASSERT_EQ((second + kLzmsChunkPrefixSize) % 2, 1u);
  Bytes out(content.size());
  ASSERT_TRUE(decode(frame, out));
  EXPECT_EQ(out, content);
}

// Two full raw chunks of kBlock bytes ("a"s, then "b"s) and a raw tail "ij".
const std::string kRawA(kBlock, 'a');
const std::string kRawB(kBlock, 'b');
constexpr std::uint64_t kRawTotal = 2 * kBlock + 2;
constexpr std::uint32_t kBlock32 = static_cast<std::uint32_t>(kBlock);
Bytes raw_frame() { return frame_of(kRawTotal, kBlock, {{kBlock32, kRawA}, {kBlock32, kRawB}, {2, "ij"}}); }

TEST(LzmsFrame, RawChunksDecodeToTheirBytes) {
  if (!lzms_decoding_available()) GTEST_SKIP() << "the system has no LZMS decompressor (Wine lacks the Compression API)";
  Bytes out(kRawTotal);
  ASSERT_TRUE(decode(raw_frame(), out));
  EXPECT_EQ(std::string(out.begin(), out.end()), kRawA + kRawB + "ij");
}

// A packed file that the release builder made on Linux with libwim's encoder, in blocks of 64 KiB:
// three chunks, the last one short. The Windows build decodes it with the system's decompressor,
// so there it shows whether that decompressor reads the frames the builder writes.
TEST(LzmsFrame, TheCommittedSampleDecodesToItsContent) {
  const std::wstring dir = test::build_tree_path(CORVANE_TEST_DATA_DIR);
  const std::string content = test::read_text(join_path(dir, L"lzms_sample.bin"));
  const Bytes frame = read_bytes(join_path(dir, L"lzms_sample.bin.lzms"));
  LzmsFrameLayout layout;
  ASSERT_TRUE(check_lzms_frame(frame, content.size(), layout));
  EXPECT_EQ(layout.block_size, kBlock);
  EXPECT_EQ(layout.chunk_count, 3u);
  EXPECT_LT(frame.size(), content.size() / 2) << "the sample's chunks are compressed";
  if (!lzms_decoding_available()) GTEST_SKIP() << "the system has no LZMS decompressor (Wine lacks the Compression API)";
  Bytes out(content.size());
  ASSERT_TRUE(decode(frame, out));
  EXPECT_TRUE(std::string(out.begin(), out.end()) == content);
}

// Buffers that Windows wrote: the reader accepts their layout (one chunk each, the block-size field
// holding the content's size, one chunk stored raw) and decodes each to its content; where the
// system has no decoder only the layout is checked.
TEST(LzmsFrame, BuffersWindowsWroteDecodeToTheirContent) {
  const std::wstring dir = windows_samples_dir();
  std::vector<std::pair<Bytes, Bytes>> samples;
  for (const wchar_t* name : kWindowsSamples) {
    SCOPED_TRACE(os::to_utf8(name));
    Bytes frame = read_bytes(join_path(dir, std::wstring(name) + L".lzms"));
    Bytes content = read_bytes(join_path(dir, std::wstring(name) + L".raw"));
    LzmsFrameLayout layout;
    ASSERT_TRUE(check_lzms_frame(frame, content.size(), layout));
    EXPECT_EQ(layout.chunk_count, 1u);
    EXPECT_EQ(layout.block_size, content.size());
    EXPECT_FALSE(check_lzms_frame(frame, content.size() + 1, layout));
    samples.emplace_back(std::move(frame), std::move(content));
  }
  if (!lzms_decoding_available()) GTEST_SKIP() << "the system has no LZMS decompressor (Wine lacks the Compression API)";
  for (std::size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(os::to_utf8(kWindowsSamples[i]));
    const auto& [frame, content] = samples[i];
    Bytes out(content.size(), 0xAA);
    ASSERT_TRUE(decode(frame, out));
    EXPECT_TRUE(out == content);
  }
}

// The header a writer makes for each of those contents, with the builder's default block size of
// 1 MiB, is byte for byte the one Windows wrote: the block-size field, the check byte and all.
TEST(LzmsFrame, WrittenHeadersMatchTheOnesWindowsWrote) {
  const std::wstring dir = windows_samples_dir();
  for (const wchar_t* name : kWindowsSamples) {
    SCOPED_TRACE(os::to_utf8(name));
    const Bytes frame = read_bytes(join_path(dir, std::wstring(name) + L".lzms"));
    const std::size_t size = test::read_text(join_path(dir, std::wstring(name) + L".raw")).size();
    ASSERT_GE(frame.size(), kLzmsHeaderSize);
    const auto header = lzms_frame_header(size, lzms_header_block_field(size, 1 << 20));
    EXPECT_TRUE(std::equal(header.begin(), header.end(), frame.begin()));
  }
}

TEST(LzmsFrame, HostileLayoutsAreRefusedBeforeDecoding) {
  LzmsFrameLayout valid_layout;
  ASSERT_TRUE(check_lzms_frame(raw_frame(), kRawTotal, valid_layout));
  EXPECT_EQ(valid_layout.chunk_count, 3u);
  const auto valid = [] { return raw_frame(); };
  // The header's check byte made right again after a change to the header.
  const auto resealed = [](Bytes f) {
    f[6] = lzms_header_check_byte(f);
    return f;
  };
  struct Case {
    const char* name;
    Bytes frame;
    std::uint64_t expected = kRawTotal;
  };
  std::vector<Case> cases;
  for (std::size_t i = 0; i < 6; ++i) {
    Bytes f = valid();
    f[i] ^= 0x40;
    cases.push_back({"signature byte changed", resealed(f)});
  }
  {
    Bytes f = valid();
    f[6] ^= 0x01;
    cases.push_back({"check byte changed", f});
  }
  for (const int algorithm : {0, 3, 4, 6}) {
    Bytes f = valid();
    f[7] = static_cast<std::uint8_t>(algorithm);
    cases.push_back({"other algorithm", resealed(f)});
  }
  cases.push_back({"total one more than expected",
                   frame_of(kRawTotal + 1, kBlock, {{kBlock32, kRawA}, {kBlock32, kRawB}, {3, "ijk"}})});
  cases.push_back({"total one less than expected",
                   frame_of(kRawTotal - 1, kBlock, {{kBlock32, kRawA}, {kBlock32, kRawB}, {1, "i"}})});
  cases.push_back({"expected one more", valid(), kRawTotal + 1});
  cases.push_back({"expected one less", valid(), kRawTotal - 1});
  cases.push_back({"chunk runs far past the end", frame_of(kRawTotal, kBlock, {{0xFFFFFFFF, kRawA}})});
  cases.push_back({"last chunk one byte past the end",
                   frame_of(kRawTotal, kBlock, {{kBlock32, kRawA}, {kBlock32, kRawB}, {3, "ij"}})});
  cases.push_back({"chunk size 0",
                   frame_of(kRawTotal, kBlock, {{0, ""}, {kBlock32, kRawA}, {kBlock32, kRawB}, {2, "ij"}})});
  cases.push_back({"missing last chunk", frame_of(kRawTotal, kBlock, {{kBlock32, kRawA}, {kBlock32, kRawB}})});
  cases.push_back({"header only", frame_of(kRawTotal, kBlock, {})});
  {
    Bytes f = valid();
    f.pop_back();
    cases.push_back({"last byte cut off", f});
    f.resize(kLzmsHeaderSize - 1);
    cases.push_back({"shorter than a header", f});
    f = valid();
    f.resize(kLzmsHeaderSize + 2);
    cases.push_back({"cut inside a chunk size", f});
  }
  {
    Bytes f = valid();
    f.push_back('x');
    cases.push_back({"one trailing byte", f});
    f = valid();
    append_u32(f, 0);
    cases.push_back({"trailing empty chunk", f});
  }
  // Block sizes: Windows writes 64 KiB .. 64 MiB, or the content's own size for one chunk.
  cases.push_back({"several chunks in blocks under 64 KiB", frame_of(10, 4, {{4, "abcd"}, {4, "efgh"}, {2, "ij"}}),
                   10});
  cases.push_back({"one chunk with a block field under 64 KiB but not its size",
                   frame_of(10, 16, {{10, "abcdefghij"}}), 10});
  cases.push_back({"block field 0 for content", frame_of(10, 0, {{10, "abcdefghij"}}), 10});
  cases.push_back({"block field above 64 MiB", frame_of(10, kLzmsMaxBlockSize + 1, {{10, "abcdefghij"}}), 10});
  cases.push_back({"block field 2^63", frame_of(10, std::uint64_t{1} << 63, {{10, "abcdefghij"}}), 10});
  cases.push_back({"empty content with a block field of 4", frame_of(0, 4, {}), 0});
  cases.push_back({"compressed chunk of odd size", frame_of(10, 10, {{5, "abcde"}}), 10});
  cases.push_back({"compressed chunk under 4 bytes", frame_of(10, 10, {{2, "ab"}}), 10});
  cases.push_back({"chunk larger than its content", frame_of(10, 10, {{12, "abcdefghijkl"}}), 10});
  cases.push_back({"two-byte content claimed compressed", frame_of(2, 2, {{4, "abcd"}}), 2});
  cases.push_back({"empty content followed by a chunk", frame_of(0, 0, {{4, "abcd"}}), 0});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LzmsFrameLayout layout;
    EXPECT_FALSE(check_lzms_frame(c.frame, c.expected, layout));
    Bytes out(c.expected, 0xAA);
    EXPECT_FALSE(decode(c.frame, out));
    // Nothing was decoded: the layout is refused first.
    EXPECT_TRUE(out == Bytes(c.expected, 0xAA));
  }
}

TEST(LzmsFrame, CorruptedDataNeverWritesOutsideTheOutput) {
  SKIP_WITHOUT_ROUND_TRIP();
  // Random damage to every part of a valid compressed frame: decoding may fail or produce wrong
  // bytes (LZMS has no checksum), but it must neither crash nor write past the output.
  const Bytes content = compressible(3 * kBlock + 5);
  const Bytes valid = pack(content, kBlock);
  std::mt19937 rng(7);
  constexpr std::size_t kGuard = 64;
  int decoded = 0;
  for (int round = 0; round < 400; ++round) {
    Bytes frame = valid;
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) {
      // Most damage goes to the compressed payload, some to the header and chunk sizes.
      const std::size_t at = rng() % 4 == 0 ? rng() % (kLzmsHeaderSize + 8) : rng() % frame.size();
      frame[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    }
    Bytes buffer(content.size() + kGuard, 0x5A);
    const bool ok = decode_lzms_frame(frame, std::span<std::uint8_t>(buffer.data(), content.size()));
    decoded += ok ? 1 : 0;
    for (std::size_t i = content.size(); i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0x5A) << "round " << round;
  }
  // The damage reached the codec, not only the layout check.
  EXPECT_GT(decoded, 0);
}

}  // namespace
}  // namespace corvane
