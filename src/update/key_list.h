#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "os/signature.h"

// keys.json: the release keys of a channel, which a pinned root key signs. A key is written as
// its id and its uncompressed point in hexadecimal, the form both platforms hand to their
// verifier as it is:
//   {"format": 1, "serial": 3, "keys": [{"id": "<16 hex>", "public": "04<128 hex>"}]}
// The serial orders key lists, so that a list from before a key was dropped cannot come back.
namespace corvane {

constexpr std::size_t kKeyListLimit = 65536;   // bytes of keys.json the client reads
constexpr std::size_t kMaxReleaseKeys = 64;
constexpr std::size_t kSignatureSize = 64;     // a detached signature file: r || s, binary

struct KeyList {
  std::uint64_t serial = 0;
  std::vector<os::P256PublicKey> keys;
};

// True for format 1 with 1 to kMaxReleaseKeys keys, each a P-256 point whose "id" matches it.
// Unknown members are skipped.
[[nodiscard]] bool parse_key_list(std::string_view text, KeyList& list);

// The text parse_key_list reads.
std::string key_list_text(const KeyList& list);

// A signature file's bytes: exactly kSignatureSize of them.
[[nodiscard]] bool read_signature(std::string_view bytes, os::P256Signature& signature);

}  // namespace corvane
