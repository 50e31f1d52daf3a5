#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// The container of packed client files: LZMS data in the buffer format of the Windows
// Compression API. The layout, what it is based on and what is refused are described in
// lzms_frame.cpp; this is the only place that knows it, for reading and for writing.
namespace corvane {

inline constexpr std::size_t kLzmsHeaderSize = 24;
inline constexpr std::uint8_t kLzmsAlgorithm = 5;                  // COMPRESS_ALGORITHM_LZMS
// The block sizes the Compression API documents for LZMS. A frame of more than one chunk has one
// of them in its header; a frame of one chunk may carry its content's size there instead.
inline constexpr std::uint64_t kLzmsMinBlockSize = 64ull << 10;
inline constexpr std::uint64_t kLzmsMaxBlockSize = 64ull << 20;
inline constexpr std::size_t kLzmsChunkPrefixSize = 4;              // the stored size before each chunk

// What a valid frame looks like from the outside.
struct LzmsFrameLayout {
  std::uint64_t total_size = 0;  // bytes of content
  std::uint64_t block_size = 0;  // bytes of content per chunk (the last chunk may hold fewer)
  std::uint64_t chunk_count = 0;
};

// A block size a writer may use: kLzmsMinBlockSize .. kLzmsMaxBlockSize.
bool lzms_block_size_allowed(std::uint64_t block_size);

// What a writer puts in the header's block-size field for `total_size` bytes of content packed in
// blocks of `block_size` bytes: the smaller of the two, as Windows writes it (a file smaller than
// one block carries its own size there; empty content 0).
std::uint64_t lzms_header_block_field(std::uint64_t total_size, std::uint64_t block_size);

// The check byte of the header at the start of `header` (at least kLzmsHeaderSize bytes): the low
// byte of the CRC-32 over every header byte but itself.
std::uint8_t lzms_header_check_byte(std::span<const std::uint8_t> header);

// The header of a frame holding `total_size` bytes whose block-size field is `block_field`, with
// its check byte. Writes the field as given; writers pass lzms_header_block_field.
std::array<std::uint8_t, kLzmsHeaderSize> lzms_frame_header(std::uint64_t total_size,
                                                             std::uint64_t block_field);

// How a writer stores one chunk: raw when the LZMS form is not an acceptable chunk, that is,
// when it is missing (the codec refused or could not shrink the block), odd-sized, under 4 bytes
// or not smaller than the block.
bool lzms_chunk_is_storable_compressed(std::size_t uncompressed_size, std::size_t compressed_size);

// Checks the whole layout of `frame` against the expected content size without decoding
// anything. False for anything that does not fit the format exactly.
[[nodiscard]] bool check_lzms_frame(std::span<const std::uint8_t> frame, std::uint64_t expected_size,
                                    LzmsFrameLayout& layout);

// One chunk of a frame that check_lzms_frame accepted: its stored bytes and where its content
// goes in the output.
struct LzmsChunk {
  std::span<const std::uint8_t> stored;
  std::uint64_t out_offset = 0;
  std::size_t out_size = 0;
  bool raw = false;  // the stored bytes are the content itself
};

// Walks the chunks of a frame whose header has been checked, validating each one as it goes.
class LzmsChunkWalker {
 public:
  LzmsChunkWalker(std::span<const std::uint8_t> frame, const LzmsFrameLayout& layout)
      : frame_(frame), block_size_(layout.block_size), remaining_(layout.total_size) {}

  // The next chunk; false at the end or at the first chunk that does not fit (see failed()).
  bool next(LzmsChunk& chunk);
  bool failed() const { return failed_; }
  // Every chunk read, and nothing after the last one.
  bool complete() const { return !failed_ && remaining_ == 0 && pos_ == frame_.size(); }
  std::uint64_t count() const { return count_; }

 private:
  bool fail() {
    failed_ = true;
    return false;
  }

  std::span<const std::uint8_t> frame_;
  std::uint64_t block_size_;
  std::uint64_t remaining_;
  std::size_t pos_ = kLzmsHeaderSize;
  std::uint64_t done_ = 0;
  std::uint64_t count_ = 0;
  bool failed_ = false;
};

// Checks `frame` as above for `out.size()` bytes of content and only then decodes it into `out`
// with the platform's decoder: libwim chunk by chunk on Linux (lzms_decode_posix.cpp), the
// system's Compression API over the whole frame on Windows (lzms_decode_win32.cpp). So both
// refuse the same layouts before any byte is decoded. Never writes outside `out`; on false `out`
// may hold a part of the content.
[[nodiscard]] bool decode_lzms_frame(std::span<const std::uint8_t> frame, std::span<std::uint8_t> out);

// The platform can decode compressed chunks: always on Linux; on Windows when the system has the
// Compression API (Wine has not). Raw-only frames need it too on Windows, where the system
// decodes every frame whole.
bool lzms_decoding_available();

}  // namespace corvane
