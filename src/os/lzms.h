#pragma once
#include <cstddef>

// Raw LZMS blocks: one block in, one block out, no framing (that is the core's business). On
// Linux this is libwim's codec; the shipping Windows build reads packed files with the system's
// Compression API instead and does not use these classes.
namespace corvane::os {

// Decodes single LZMS blocks. Move-only; one per thread.
class LzmsDecompressor {
 public:
  LzmsDecompressor() = default;
  ~LzmsDecompressor();
  LzmsDecompressor(LzmsDecompressor&& other) noexcept;
  LzmsDecompressor& operator=(LzmsDecompressor&& other) noexcept;
  LzmsDecompressor(const LzmsDecompressor&) = delete;
  LzmsDecompressor& operator=(const LzmsDecompressor&) = delete;

  // Prepares for blocks of up to `max_block_size` bytes of output (1 .. 2^30).
  [[nodiscard]] bool create(std::size_t max_block_size);
  // Decodes `in` into exactly `out_size` bytes at `out`. The codec cannot take every input, so
  // this refuses (false, nothing read or written) an output under 3 bytes or above the block
  // size, an input that is odd-sized, under 4 bytes or not 2-byte aligned. False also for data the
  // codec rejects; LZMS has no checksum, so true does not prove the bytes are right.
  [[nodiscard]] bool decompress(const void* in, std::size_t in_size, void* out, std::size_t out_size);

 private:
  void reset();
  void* handle_ = nullptr;
  std::size_t max_block_size_ = 0;
};

// Encodes single LZMS blocks. Move-only; one per thread. Memory grows with the block size
// (about 10 MB at 1 MiB).
class LzmsCompressor {
 public:
  LzmsCompressor() = default;
  ~LzmsCompressor();
  LzmsCompressor(LzmsCompressor&& other) noexcept;
  LzmsCompressor& operator=(LzmsCompressor&& other) noexcept;
  LzmsCompressor(const LzmsCompressor&) = delete;
  LzmsCompressor& operator=(const LzmsCompressor&) = delete;

  // Prepares for blocks of up to `max_block_size` bytes of input (1 .. 2^30).
  [[nodiscard]] bool create(std::size_t max_block_size);
  // Encodes `in` into at most `out_capacity` bytes at `out` and returns the encoded size; 0 when
  // the block does not fit, is under 4 bytes (the codec refuses those) or exceeds the block size.
  std::size_t compress(const void* in, std::size_t in_size, void* out, std::size_t out_capacity);

 private:
  void reset();
  void* handle_ = nullptr;
  std::size_t max_block_size_ = 0;
};

}  // namespace corvane::os
