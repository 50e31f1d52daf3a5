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
inline constexpr std::uint64_t kLzmsMaxBlockSize = 64ull << 20;    // larger blocks are refused
inline constexpr std::size_t kLzmsChunkPrefixSize = 4;              // the stored size before each chunk

// What a valid frame looks like from the outside.
struct LzmsFrameLayout {
  std::uint64_t total_size = 0;  // bytes of content
  std::uint64_t block_size = 0;  // bytes of content per chunk (the last chunk may hold fewer)
  std::uint64_t chunk_count = 0;
};

// The header of a frame holding `total_size` bytes in chunks of `block_size` bytes.
std::array<std::uint8_t, kLzmsHeaderSize> lzms_frame_header(std::uint64_t total_size,
                                                             std::uint64_t block_size);

// How a writer stores one chunk: raw when the LZMS form is not an acceptable chunk, that is,
// when it is missing (the codec refused or could not shrink the block), odd-sized, under 4 bytes
// or not smaller than the block.
bool lzms_chunk_is_storable_compressed(std::size_t uncompressed_size, std::size_t compressed_size);

// Checks the whole layout of `frame` against the expected content size without decoding
// anything. False for anything that does not fit the format exactly.
[[nodiscard]] bool check_lzms_frame(std::span<const std::uint8_t> frame, std::uint64_t expected_size,
                                    LzmsFrameLayout& layout);

// Checks `frame` as above for `out.size()` bytes of content and only then decodes it chunk by
// chunk into `out`. Never writes outside `out`; on false `out` may hold a part of the content.
[[nodiscard]] bool decode_lzms_frame(std::span<const std::uint8_t> frame, std::span<std::uint8_t> out);

}  // namespace corvane
