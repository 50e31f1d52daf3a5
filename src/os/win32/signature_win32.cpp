#include "os/signature.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "os/sha256.h"

namespace corvane::os {
namespace {

bool succeeded(NTSTATUS status) { return status >= 0; }

// The ECDSA P-256 provider and one imported key, released together.
struct EcdsaKey {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;

  EcdsaKey() = default;
  EcdsaKey(const EcdsaKey&) = delete;
  EcdsaKey& operator=(const EcdsaKey&) = delete;
  ~EcdsaKey() {
    if (key != nullptr) BCryptDestroyKey(key);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }

  // A BCRYPT_ECCKEY_BLOB header, then X and Y (and the scalar for a private key).
  bool import(const P256PublicKey& point, const P256PrivateKey* secret) {
    if (point[0] != 0x04) return false;
    if (!succeeded(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return false;
    BCRYPT_ECCKEY_BLOB header{};
    header.dwMagic = secret != nullptr ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = 32;
    std::vector<UCHAR> blob(sizeof(header) + 64 + (secret != nullptr ? 32 : 0));
    std::memcpy(blob.data(), &header, sizeof(header));
    std::memcpy(blob.data() + sizeof(header), point.data() + 1, 64);
    if (secret != nullptr) std::memcpy(blob.data() + sizeof(header) + 64, secret->data(), 32);
    const wchar_t* type = secret != nullptr ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB;
    return succeeded(BCryptImportKeyPair(algorithm, nullptr, type, &key, blob.data(),
                                         static_cast<ULONG>(blob.size()), 0));
  }
};

bool digest_of(std::string_view message, Sha256Digest& digest) {
  Sha256 hash;
  return hash.begin() && hash.update(message.data(), message.size()) && hash.finish(digest);
}

}  // namespace

bool p256_verify(const P256PublicKey& key, std::string_view message, const P256Signature& signature) {
  EcdsaKey ecdsa;
  Sha256Digest digest{};
  if (!ecdsa.import(key, nullptr) || !digest_of(message, digest)) return false;
  return succeeded(BCryptVerifySignature(ecdsa.key, nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                                         const_cast<PUCHAR>(signature.data()),
                                         static_cast<ULONG>(signature.size()), 0));
}

bool p256_sign(const P256PrivateKey& secret, const P256PublicKey& key, std::string_view message,
               P256Signature& signature) {
  EcdsaKey ecdsa;
  Sha256Digest digest{};
  if (!ecdsa.import(key, &secret) || !digest_of(message, digest)) return false;
  ULONG written = 0;
  return succeeded(BCryptSignHash(ecdsa.key, nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                                  signature.data(), static_cast<ULONG>(signature.size()), &written, 0)) &&
         written == signature.size();
}

}  // namespace corvane::os
