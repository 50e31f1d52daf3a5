// Reader of packed client files: the frame check and the chunk decoder over hostile input. The
// codec behind the decoder is a system library without sanitizer instrumentation, so the frame
// and the output live in buffers that end right at an inaccessible page: a read past the frame or
// a write past the output faults at once instead of going unnoticed.
//
// Input: one mode byte, then the frame. The content size the decoder is asked for is the frame
// header's own total size (mode 0), one more (1), one less (2), or the next two bytes (3).
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "update/lzms_frame.h"

namespace {

constexpr std::uint64_t kMaxOutput = 1 << 20;

// `size` bytes that end exactly where a PROT_NONE page begins.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(std::size_t size) : size_(size) {
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    pages_ = (size + page - 1) / page * page;
    total_ = pages_ + page;
    void* map = ::mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) __builtin_trap();
    base_ = static_cast<std::uint8_t*>(map);
    if (::mprotect(base_ + pages_, page, PROT_NONE) != 0) __builtin_trap();
  }
  ~GuardedBuffer() { ::munmap(base_, total_); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  std::uint8_t* data() { return base_ + (pages_ - size_); }
  std::size_t size() const { return size_; }

 private:
  std::uint8_t* base_ = nullptr;
  std::size_t size_ = 0;
  std::size_t pages_ = 0;
  std::size_t total_ = 0;
};

std::uint64_t header_total(std::span<const std::uint8_t> frame) {
  if (frame.size() < corvane::kLzmsHeaderSize) return 0;
  std::uint64_t total = 0;
  for (int i = 7; i >= 0; --i) total = (total << 8) | frame[8 + static_cast<std::size_t>(i)];
  return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t mode = data[0] & 3;
  std::span<const std::uint8_t> rest(data + 1, size - 1);
  std::uint64_t out_size = 0;
  if (mode == 3) {
    if (rest.size() < 2) return 0;
    out_size = rest[0] | (std::uint64_t{rest[1]} << 8);
    rest = rest.subspan(2);
  } else {
    out_size = header_total(rest);
    if (mode == 1) out_size += 1;
    if (mode == 2 && out_size > 0) out_size -= 1;
  }
  if (out_size > kMaxOutput) return 0;

  GuardedBuffer frame(rest.size());
  if (!rest.empty()) std::memcpy(frame.data(), rest.data(), rest.size());
  GuardedBuffer out(static_cast<std::size_t>(out_size));
  const std::span<const std::uint8_t> in(frame.data(), frame.size());

  corvane::LzmsFrameLayout layout;
  const bool layout_ok = corvane::check_lzms_frame(in, out_size, layout);
  // An accepted layout has a block size Windows writes: 64 KiB .. 64 MiB, or the content's own size.
  if (layout_ok && (layout.total_size != out_size || layout.block_size > corvane::kLzmsMaxBlockSize ||
                    (layout.block_size < corvane::kLzmsMinBlockSize && layout.block_size != out_size))) {
    __builtin_trap();
  }
  const bool decoded = corvane::decode_lzms_frame(in, std::span<std::uint8_t>(out.data(), out.size()));
  // The decoder checks the whole layout first: it never accepts what the check refuses.
  if (decoded && !layout_ok) __builtin_trap();
  return 0;
}
