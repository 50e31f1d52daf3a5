#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

// SHA-256 of a stream of bytes, fed piece by piece (BCrypt on Windows, OpenSSL EVP on Linux).
namespace corvane::os {

using Sha256Digest = std::array<std::uint8_t, 32>;

// One hash computation. Move-only; the system object is released when the hasher goes.
// A hasher is used by one thread at a time.
class Sha256 {
 public:
  Sha256() = default;
  ~Sha256();
  Sha256(Sha256&& other) noexcept;
  Sha256& operator=(Sha256&& other) noexcept;
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // Starts a new computation; false when the system cannot provide the algorithm.
  [[nodiscard]] bool begin();
  // Adds `size` bytes; false when the computation has not begun or the system call fails.
  [[nodiscard]] bool update(const void* data, std::size_t size);
  // Writes the digest of everything added since begin() and ends the computation.
  [[nodiscard]] bool finish(Sha256Digest& digest);

 private:
  void reset();
  void* context_ = nullptr;  // the platform's hash object
};

}  // namespace corvane::os
