#include "update/lzms_frame.h"

#include <algorithm>

// The framing implemented here: the buffer format of the Windows Compression API with the LZMS
// algorithm. Checked against files that Windows itself wrote (tests/update/data/windows_lzms): every
// header field below and the check byte formula match them, and so does the raw storing of a chunk
// that LZMS cannot shrink. Those files are all of one chunk; the chunk records of a frame of several
// chunks follow the same rule and have not been seen from Windows. All integers are little-endian.
//
//   offset  size  content
//   0       6     signature 0A 51 E5 C0 18 00 (0x18 is the length of the header)
//   6       1     check byte: the low byte of the CRC-32 (zlib's) over bytes 0-5 and then 7-23
//   7       1     algorithm: 5 (LZMS); any other value is refused
//   8       8     total size of the content; must equal the size the manifest promises
//   16      8     block-size field: min(total size, block size), block size 64 KiB .. 64 MiB
//   24      ...   one chunk per block, in order: a 4-byte stored size, then that many bytes
//
// So a file smaller than one block carries its own size in the block-size field, and empty content
// carries 0 and has no chunk at all. A field above 64 MiB is refused; one below 64 KiB only when it
// equals the total size (one chunk, or none), because a frame of several chunks in blocks that
// Windows never writes could read here and fail on Windows. Every chunk holds block-size bytes
// of content except the last, which holds the rest. A chunk whose stored size equals its content
// size holds the content raw. Any other chunk is one independent LZMS block that is smaller than
// its content, even-sized and at least 4 bytes long (LZMS works in 16-bit units). Refused: a wrong
// check byte, a chunk of any other size (0 among them), a chunk that runs past the end, a missing
// chunk, and any byte after the last chunk. The layout is checked whole before a single chunk is decoded; the
// decoding itself is the platform's (lzms_decode_posix.cpp, lzms_decode_win32.cpp).
namespace corvane {
namespace {

constexpr std::array<std::uint8_t, 6> kSignature = {0x0A, 0x51, 0xE5, 0xC0, 0x18, 0x00};
constexpr std::size_t kCheckByteOffset = 6;
constexpr std::size_t kAlgorithmOffset = 7;
constexpr std::size_t kTotalSizeOffset = 8;
constexpr std::size_t kBlockSizeOffset = 16;

std::uint64_t load_le(const std::uint8_t* p, std::size_t bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = bytes; i-- > 0;) value = (value << 8) | p[i];
  return value;
}

void store_le(std::uint8_t* p, std::uint64_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// CRC-32 (reflected, polynomial 0xEDB88320) continued over `bytes`; start with 0xFFFFFFFF and
// invert at the end.
std::uint32_t crc32_update(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc;
}

}  // namespace

std::uint8_t lzms_header_check_byte(std::span<const std::uint8_t> header) {
  const std::span<const std::uint8_t> all = header.first(kLzmsHeaderSize);
  std::uint32_t crc = crc32_update(0xFFFFFFFFu, all.subspan(0, kCheckByteOffset));
  crc = crc32_update(crc, all.subspan(kCheckByteOffset + 1));
  return static_cast<std::uint8_t>(~crc);
}

bool LzmsChunkWalker::next(LzmsChunk& chunk) {
  if (remaining_ == 0 || failed_) return false;
  const std::size_t left = frame_.size() - pos_;
  if (left < kLzmsChunkPrefixSize) return fail();
  const std::uint64_t stored = load_le(frame_.data() + pos_, kLzmsChunkPrefixSize);
  pos_ += kLzmsChunkPrefixSize;
  const std::uint64_t content = std::min(block_size_, remaining_);
  if (stored > frame_.size() - pos_) return fail();
  chunk.raw = stored == content;
  if (!chunk.raw && !lzms_chunk_is_storable_compressed(static_cast<std::size_t>(content),
                                                       static_cast<std::size_t>(stored))) {
    return fail();
  }
  chunk.stored = frame_.subspan(pos_, static_cast<std::size_t>(stored));
  chunk.out_offset = done_;
  chunk.out_size = static_cast<std::size_t>(content);
  pos_ += static_cast<std::size_t>(stored);
  done_ += content;
  remaining_ -= content;
  ++count_;
  return true;
}

bool lzms_block_size_allowed(std::uint64_t block_size) {
  return block_size >= kLzmsMinBlockSize && block_size <= kLzmsMaxBlockSize;
}

std::uint64_t lzms_header_block_field(std::uint64_t total_size, std::uint64_t block_size) {
  return std::min(total_size, block_size);
}

std::array<std::uint8_t, kLzmsHeaderSize> lzms_frame_header(std::uint64_t total_size,
                                                             std::uint64_t block_field) {
  std::array<std::uint8_t, kLzmsHeaderSize> header{};
  std::copy(kSignature.begin(), kSignature.end(), header.begin());
  header[kAlgorithmOffset] = kLzmsAlgorithm;
  store_le(header.data() + kTotalSizeOffset, total_size, 8);
  store_le(header.data() + kBlockSizeOffset, block_field, 8);
  header[kCheckByteOffset] = lzms_header_check_byte(header);
  return header;
}

bool lzms_chunk_is_storable_compressed(std::size_t uncompressed_size, std::size_t compressed_size) {
  return compressed_size >= 4 && compressed_size % 2 == 0 && compressed_size < uncompressed_size;
}

bool check_lzms_frame(std::span<const std::uint8_t> frame, std::uint64_t expected_size,
                      LzmsFrameLayout& layout) {
  layout = {};
  if (frame.size() < kLzmsHeaderSize) return false;
  if (!std::equal(kSignature.begin(), kSignature.end(), frame.begin())) return false;
  if (frame[kCheckByteOffset] != lzms_header_check_byte(frame)) return false;
  if (frame[kAlgorithmOffset] != kLzmsAlgorithm) return false;
  const std::uint64_t total = load_le(frame.data() + kTotalSizeOffset, 8);
  const std::uint64_t block = load_le(frame.data() + kBlockSizeOffset, 8);
  if (total != expected_size) return false;
  if (block > kLzmsMaxBlockSize || (block < kLzmsMinBlockSize && block != total)) return false;
  LzmsFrameLayout candidate{total, block, 0};
  LzmsChunkWalker walker(frame, candidate);
  LzmsChunk chunk;
  while (walker.next(chunk)) {
  }
  if (!walker.complete()) return false;
  candidate.chunk_count = walker.count();
  layout = candidate;
  return true;
}

}  // namespace corvane
