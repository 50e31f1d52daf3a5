#pragma once
#include <string>

#include "release_builder/signing.h"
#include "update/release_trust.h"

// The test keys of tests/keys: a root key that the test and demo builds pin, the release key it
// lists, and a second release key for rotations. Never used for anything shipped.
namespace corvane::test {

enum class TestKey { kRoot, kRelease, kReleaseNext };

// The key's PEM private key (as `openssl ecparam -genkey` writes it) and its PEM public key.
const std::string& private_key_pem(TestKey key);
const std::string& public_key_pem(TestKey key);

// How every test channel is signed unless a test says otherwise: manifest.json by the release
// key, keys.json listing the release key, signed by the root key.
tools::Signing channel_signing();

// The test root key alone, for runs that trust it explicitly.
TrustRoots test_roots();

}  // namespace corvane::test
