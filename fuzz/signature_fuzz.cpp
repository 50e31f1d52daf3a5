// Signature files (manifest.json.sig, keys.json.sig) as they arrive, through the platform's
// verifier with its conversion to OpenSSL's form: any bytes either fail or are the one signature
// the key made over the message. The key is fixed; a key of the input's own is tried as well, so
// that points off the curve reach the import.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "os/signature.h"
#include "update/key_list.h"

namespace {

// The public key of the scalar 1: the curve's generator.
constexpr std::uint8_t kGenerator[65] = {
    0x04, 0x6B, 0x17, 0xD1, 0xF2, 0xE1, 0x2C, 0x42, 0x47, 0xF8, 0xBC, 0xE6, 0xE5, 0x63, 0xA4, 0x40, 0xF2,
    0x77, 0x03, 0x7D, 0x81, 0x2D, 0xEB, 0x33, 0xA0, 0xF4, 0xA1, 0x39, 0x45, 0xD8, 0x98, 0xC2, 0x96,
    0x4F, 0xE3, 0x42, 0xE2, 0xFE, 0x1A, 0x7F, 0x9B, 0x8E, 0xE7, 0xEB, 0x4A, 0x7C, 0x0F, 0x9E, 0x16,
    0x2B, 0xCE, 0x33, 0x57, 0x6B, 0x31, 0x5E, 0xCE, 0xCB, 0xB6, 0x40, 0x68, 0x37, 0xBF, 0x51, 0xF5};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  corvane::os::P256PublicKey key{};
  std::memcpy(key.data(), kGenerator, key.size());
  corvane::os::P256Signature signature{};
  if (corvane::read_signature(bytes, signature)) {
    // A forged signature of the generator's key over a fixed text is as hard as the curve itself.
    if (corvane::os::p256_verify(key, "manifest", signature)) __builtin_trap();
    return 0;
  }
  // 65 + 64 bytes: a key of the input's own and a signature.
  if (size == key.size() + signature.size()) {
    std::memcpy(key.data(), data, key.size());
    std::memcpy(signature.data(), data + key.size(), signature.size());
    (void)corvane::os::p256_verify(key, "manifest", signature);
  }
  return 0;
}
