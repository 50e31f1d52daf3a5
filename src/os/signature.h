#pragma once
#include <array>
#include <cstdint>
#include <string_view>

// ECDSA over the curve P-256 with SHA-256 (BCrypt on Windows, OpenSSL EVP on Linux). Keys and
// signatures cross this seam in one fixed form on both platforms: a public key is the 65-byte
// uncompressed point (04, X, Y), a private key its 32-byte scalar, and a signature the 64 bytes of
// r and s, each big-endian and padded to 32 bytes (the form BCrypt makes; OpenSSL's DER form is
// converted here, never seen above).
namespace corvane::os {

using P256PublicKey = std::array<std::uint8_t, 65>;
using P256PrivateKey = std::array<std::uint8_t, 32>;
using P256Signature = std::array<std::uint8_t, 64>;

// True when `signature` is a valid signature of `message` under `key`. False for a key that is not
// a point of the curve, a wrong signature, or a system that cannot verify.
[[nodiscard]] bool p256_verify(const P256PublicKey& key, std::string_view message, const P256Signature& signature);

// Signs `message` with the key pair (`secret`, `key`); false when the system refuses the key.
[[nodiscard]] bool p256_sign(const P256PrivateKey& secret, const P256PublicKey& key, std::string_view message,
                             P256Signature& signature);

}  // namespace corvane::os
