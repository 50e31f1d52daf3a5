#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Signing a channel: manifest.json.sig beside manifest.json, and keys.json with keys.json.sig (the
// release keys, signed by a root key). Keys come as PEM text, as OpenSSL writes them.
namespace corvane::tools {

struct Signing {
  std::string sign_key_pem;  // the release key that signs manifest.json; empty: no manifest.json.sig
  std::uint64_t serial = 0;  // the manifest's "serial"; 0: no member
  std::string expires;       // the manifest's "expires", UTC "2027-01-31T00:00:00Z"; empty: no member
  // When root_key_pem is set, keys.json and keys.json.sig are written too: release_keys_pem (each
  // one or more PEM public keys) signed by the root key, as key list number key_serial.
  std::string root_key_pem;
  std::vector<std::string> release_keys_pem;
  std::uint64_t key_serial = 0;
};

// The signature file (64 bytes, r || s) of `bytes` under the PEM private key.
[[nodiscard]] bool sign_bytes(const std::string& private_key_pem, const std::string& bytes, std::string& signature,
                              std::string& error);

// Writes keys.json and keys.json.sig into the channel folder `out` as `signing` says.
[[nodiscard]] bool write_key_list(const std::wstring& out, const Signing& signing, std::string& error);

// Writes the channel's manifest: `text` with the serial and expiry of `signing` added, its signature
// when a signing key is given, and the key list when a root key is given. manifest.json goes last,
// so that a reader never finds a new manifest beside an old signature.
[[nodiscard]] bool publish_manifest(const std::wstring& out, const std::string& text, const Signing& signing,
                                    std::string& error);

}  // namespace corvane::tools
