#include "os/sha256.h"

#include <openssl/evp.h>

namespace corvane::os {
namespace {

EVP_MD_CTX* ctx_of(void* context) { return static_cast<EVP_MD_CTX*>(context); }

}  // namespace

void Sha256::reset() {
  if (context_ != nullptr) {
    EVP_MD_CTX_free(ctx_of(context_));
    context_ = nullptr;
  }
}

bool Sha256::begin() {
  reset();
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  if (ctx == nullptr) return false;
  if (EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1) {
    EVP_MD_CTX_free(ctx);
    return false;
  }
  context_ = ctx;
  return true;
}

bool Sha256::update(const void* data, std::size_t size) {
  if (context_ == nullptr) return false;
  if (size == 0) return true;
  return EVP_DigestUpdate(ctx_of(context_), data, size) == 1;
}

bool Sha256::finish(Sha256Digest& digest) {
  if (context_ == nullptr) return false;
  unsigned int length = 0;
  const bool ok = EVP_DigestFinal_ex(ctx_of(context_), digest.data(), &length) == 1 &&
                  length == digest.size();
  reset();
  return ok;
}

}  // namespace corvane::os
