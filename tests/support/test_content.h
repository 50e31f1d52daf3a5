#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Made-up file contents for tests and test drivers: the same bytes for a seed on every run and
// platform, so that a release built from them is the same release everywhere.
namespace corvane::test {

// One step of a xorshift generator.
inline std::uint64_t next_random(std::uint64_t& x) {
  x ^= x << 13;
  x ^= x >> 7;
  x ^= x << 17;
  return x;
}

// `size` bytes that do not compress, different for every seed.
inline std::string noise(std::size_t size, std::uint64_t seed) {
  std::string out(size, '\0');
  std::uint64_t x = 0x9E3779B97F4A7C15ull ^ (seed * 0x100000001B3ull);
  for (std::size_t i = 0; i < size; i += 8) {
    const std::uint64_t r = next_random(x);
    for (std::size_t k = 0; k < 8 && i + k < size; ++k) out[i + k] = static_cast<char>(r >> (8 * k));
  }
  return out;
}

// `size` bytes of word salad that LZMS shrinks a few times, different for every seed.
inline std::string prose(std::size_t size, std::uint64_t seed) {
  static constexpr const char* kWords[] = {"client ", "update ", "release ", "folder ", "manifest ",
                                           "staging ", "verify ", "part ",   "lock ",   "\n"};
  std::string out;
  out.reserve(size + 16);
  std::uint64_t x = 0xD1B54A32D192ED03ull + seed;
  while (out.size() < size) out += kWords[next_random(x) % 10];
  out.resize(size);
  return out;
}

}  // namespace corvane::test
