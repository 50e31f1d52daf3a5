#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "base/hex_text.h"
#include "os/signature.h"

// P-256 keys in the PEM forms that OpenSSL writes ("PUBLIC KEY", "EC PRIVATE KEY" and "PRIVATE
// KEY"), read without a crypto library so that both platforms take the same files, and the short
// id by which keys.json names a key.
namespace corvane {

// Every "PUBLIC KEY" block of `text`, in order. False when a block is not a P-256 public key or
// when there is none; other blocks are passed over.
[[nodiscard]] bool read_pem_public_keys(std::string_view text, std::vector<os::P256PublicKey>& keys);

// The first private key block of `text` (SEC1 "EC PRIVATE KEY", as `openssl ecparam -genkey` writes
// it, or PKCS#8 "PRIVATE KEY"). The block must carry its public point, as OpenSSL writes it.
[[nodiscard]] bool read_pem_private_key(std::string_view text, os::P256PrivateKey& secret, os::P256PublicKey& key);

// The first 8 bytes of the SHA-256 of the point, as 16 lower-case hexadecimal digits.
std::string key_id_of(const os::P256PublicKey& key);


}  // namespace corvane
