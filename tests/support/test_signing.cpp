#include "support/test_signing.h"

#include "update/key_text.h"

// kTestKeys: private and public PEM text of each test key, in TestKey order.
#include "test_keys.inc"

namespace corvane::test {

const std::string& private_key_pem(TestKey key) {
  static const std::string keys[] = {kTestKeys[0][0], kTestKeys[1][0], kTestKeys[2][0]};
  return keys[static_cast<int>(key)];
}

const std::string& public_key_pem(TestKey key) {
  static const std::string keys[] = {kTestKeys[0][1], kTestKeys[1][1], kTestKeys[2][1]};
  return keys[static_cast<int>(key)];
}

tools::Signing channel_signing() {
  tools::Signing signing;
  signing.sign_key_pem = private_key_pem(TestKey::kRelease);
  signing.root_key_pem = private_key_pem(TestKey::kRoot);
  signing.release_keys_pem = {public_key_pem(TestKey::kRelease)};
  return signing;
}

TrustRoots test_roots() {
  TrustRoots roots;
  roots.pinned = true;
  (void)read_pem_public_keys(public_key_pem(TestKey::kRoot), roots.keys);
  return roots;
}

}  // namespace corvane::test
