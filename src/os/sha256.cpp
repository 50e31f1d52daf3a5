#include "os/sha256.h"

#include <utility>

// Ownership of the platform's hash object, the same on every platform; the hashing itself is the
// platform's (os/posix and os/win32).
namespace corvane::os {

Sha256::~Sha256() { reset(); }

Sha256::Sha256(Sha256&& other) noexcept : context_(std::exchange(other.context_, nullptr)) {}

Sha256& Sha256::operator=(Sha256&& other) noexcept {
  if (this != &other) {
    reset();
    context_ = std::exchange(other.context_, nullptr);
  }
  return *this;
}

}  // namespace corvane::os
