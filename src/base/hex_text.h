#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Lower-case hexadecimal text of bytes (digests, key points), and back.
namespace corvane {

std::string hex_of(const std::uint8_t* data, std::size_t size);

template <class Bytes>
std::string hex_of(const Bytes& bytes) {
  return hex_of(bytes.data(), bytes.size());
}

// Fills `out` with the `size` bytes that `hex` spells; false on a length other than 2 * size or a
// character other than 0-9 and a-f.
[[nodiscard]] bool bytes_of_hex(std::string_view hex, std::uint8_t* out, std::size_t size);

}  // namespace corvane
