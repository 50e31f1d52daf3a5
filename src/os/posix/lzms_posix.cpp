#include "os/lzms.h"

#include <wimlib.h>

#include <cstdint>
#include <utility>

namespace corvane::os {
namespace {

constexpr std::size_t kMaxBlockSize = std::size_t{1} << 30;

wimlib_decompressor* decompressor_of(void* handle) { return static_cast<wimlib_decompressor*>(handle); }
wimlib_compressor* compressor_of(void* handle) { return static_cast<wimlib_compressor*>(handle); }

}  // namespace

LzmsDecompressor::~LzmsDecompressor() { reset(); }

LzmsDecompressor::LzmsDecompressor(LzmsDecompressor&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      max_block_size_(std::exchange(other.max_block_size_, 0)) {}

LzmsDecompressor& LzmsDecompressor::operator=(LzmsDecompressor&& other) noexcept {
  if (this != &other) {
    reset();
    handle_ = std::exchange(other.handle_, nullptr);
    max_block_size_ = std::exchange(other.max_block_size_, 0);
  }
  return *this;
}

void LzmsDecompressor::reset() {
  wimlib_free_decompressor(decompressor_of(handle_));
  handle_ = nullptr;
  max_block_size_ = 0;
}

bool LzmsDecompressor::create(std::size_t max_block_size) {
  reset();
  if (max_block_size == 0 || max_block_size > kMaxBlockSize) return false;
  wimlib_decompressor* d = nullptr;
  if (wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_LZMS, max_block_size, &d) != 0) return false;
  handle_ = d;
  max_block_size_ = max_block_size;
  return true;
}

bool LzmsDecompressor::decompress(const void* in, std::size_t in_size, void* out, std::size_t out_size) {
  if (handle_ == nullptr) return false;
  // libwim reads far out of bounds for outputs of 0 to 2 bytes, and needs its input in whole
  // 16-bit units at an even address.
  if (out_size < 3 || out_size > max_block_size_) return false;
  if (in_size < 4 || in_size % 2 != 0 || reinterpret_cast<std::uintptr_t>(in) % 2 != 0) return false;
  return wimlib_decompress(in, in_size, out, out_size, decompressor_of(handle_)) == 0;
}

LzmsCompressor::~LzmsCompressor() { reset(); }

LzmsCompressor::LzmsCompressor(LzmsCompressor&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      max_block_size_(std::exchange(other.max_block_size_, 0)) {}

LzmsCompressor& LzmsCompressor::operator=(LzmsCompressor&& other) noexcept {
  if (this != &other) {
    reset();
    handle_ = std::exchange(other.handle_, nullptr);
    max_block_size_ = std::exchange(other.max_block_size_, 0);
  }
  return *this;
}

void LzmsCompressor::reset() {
  wimlib_free_compressor(compressor_of(handle_));
  handle_ = nullptr;
  max_block_size_ = 0;
}

bool LzmsCompressor::create(std::size_t max_block_size) {
  reset();
  if (max_block_size == 0 || max_block_size > kMaxBlockSize) return false;
  wimlib_compressor* c = nullptr;
  if (wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_LZMS, max_block_size, 0, &c) != 0) return false;
  handle_ = c;
  max_block_size_ = max_block_size;
  return true;
}

std::size_t LzmsCompressor::compress(const void* in, std::size_t in_size, void* out,
                                     std::size_t out_capacity) {
  if (handle_ == nullptr || in_size < 4 || in_size > max_block_size_) return 0;
  return wimlib_compress(in, in_size, out, out_capacity, compressor_of(handle_));
}

}  // namespace corvane::os
