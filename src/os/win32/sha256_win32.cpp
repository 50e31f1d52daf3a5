#include "os/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <new>

namespace corvane::os {
namespace {

// The provider and the hash object of one computation, released together.
struct HashObjects {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;

  ~HashObjects() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

HashObjects* objects_of(void* context) { return static_cast<HashObjects*>(context); }

bool succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

void Sha256::reset() {
  delete objects_of(context_);
  context_ = nullptr;
}

bool Sha256::begin() {
  reset();
  auto* objects = new (std::nothrow) HashObjects;
  if (objects == nullptr) return false;
  // The default implementation, no object buffer (the system allocates it), no secret.
  if (!succeeded(BCryptOpenAlgorithmProvider(&objects->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
      !succeeded(BCryptCreateHash(objects->algorithm, &objects->hash, nullptr, 0, nullptr, 0, 0))) {
    delete objects;
    return false;
  }
  context_ = objects;
  return true;
}

bool Sha256::update(const void* data, std::size_t size) {
  if (context_ == nullptr) return false;
  // BCryptHashData takes a 32-bit length: larger inputs go in pieces.
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (size > 0) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 0x40000000));
    if (!succeeded(BCryptHashData(objects_of(context_)->hash, bytes, piece, 0))) return false;
    bytes += piece;
    size -= piece;
  }
  return true;
}

bool Sha256::finish(Sha256Digest& digest) {
  if (context_ == nullptr) return false;
  const bool ok = succeeded(
      BCryptFinishHash(objects_of(context_)->hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
  reset();
  return ok;
}

}  // namespace corvane::os
