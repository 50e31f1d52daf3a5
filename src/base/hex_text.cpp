#include "base/hex_text.h"

namespace corvane {

std::string hex_of(const std::uint8_t* data, std::size_t size) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    text.push_back(kHex[data[i] >> 4]);
    text.push_back(kHex[data[i] & 0x0F]);
  }
  return text;
}

bool bytes_of_hex(std::string_view hex, std::uint8_t* out, std::size_t size) {
  if (hex.size() != size * 2) return false;
  const auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < size; ++i) {
    const int high = digit(hex[2 * i]);
    const int low = digit(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return true;
}

}  // namespace corvane
