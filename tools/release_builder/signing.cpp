#include "release_builder/signing.h"

#include "base/paths.h"
#include "os/fs.h"
#include "os/signature.h"
#include "os/text.h"
#include "update/key_list.h"
#include "update/key_text.h"
#include "update/release_bounds.h"

namespace corvane::tools {
namespace {

bool write(const std::wstring& out, const wchar_t* name, const std::string& bytes, std::string& error) {
  if (const os::ErrorCode e = os::write_file_atomically(join_path(out, name), bytes)) {
    error = "cannot write " + os::to_utf8(name) + " (code " + std::to_string(e) + ")";
    return false;
  }
  return true;
}

}  // namespace

bool sign_bytes(const std::string& private_key_pem, const std::string& bytes, std::string& signature,
                std::string& error) {
  os::P256PrivateKey secret{};
  os::P256PublicKey key{};
  if (!read_pem_private_key(private_key_pem, secret, key)) {
    error = "not a PEM P-256 private key with its public point";
    return false;
  }
  os::P256Signature made{};
  if (!os::p256_sign(secret, key, bytes, made)) {
    error = "the system refused to sign with the key";
    return false;
  }
  signature.assign(reinterpret_cast<const char*>(made.data()), made.size());
  return true;
}

bool write_key_list(const std::wstring& out, const Signing& signing, std::string& error) {
  KeyList list;
  list.serial = signing.key_serial;
  for (const std::string& pem : signing.release_keys_pem) {
    if (!read_pem_public_keys(pem, list.keys)) {
      error = "a release key is not a PEM P-256 public key";
      return false;
    }
  }
  if (list.keys.empty() || list.keys.size() > kMaxReleaseKeys) {
    error = "a key list holds 1 to " + std::to_string(kMaxReleaseKeys) + " release keys";
    return false;
  }
  const std::string text = key_list_text(list);
  std::string signature;
  if (!sign_bytes(signing.root_key_pem, text, signature, error)) {
    error = "root key: " + error;
    return false;
  }
  return write(out, L"keys.json.sig", signature, error) && write(out, L"keys.json", text, error);
}

bool publish_manifest(const std::wstring& out, const std::string& text, const Signing& signing, std::string& error) {
  if (!signing.expires.empty()) {
    std::int64_t seconds = 0;
    if (!parse_utc_time(signing.expires, seconds)) {
      error = "not a UTC time like 2027-01-31T00:00:00Z: " + signing.expires;
      return false;
    }
  }
  const std::string manifest = with_release_bounds(text, signing.serial, signing.expires);
  if (!signing.root_key_pem.empty() && !write_key_list(out, signing, error)) return false;
  if (!signing.sign_key_pem.empty()) {
    std::string signature;
    if (!sign_bytes(signing.sign_key_pem, manifest, signature, error)) {
      error = "signing key: " + error;
      return false;
    }
    if (!write(out, L"manifest.json.sig", signature, error)) return false;
  }
  return write(out, L"manifest.json", manifest, error);
}

}  // namespace corvane::tools
