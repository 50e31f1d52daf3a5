#include "update/key_text.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "os/sha256.h"

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The algorithm ids of an EC key (1.2.840.10045.2.1) on the curve P-256 (1.2.840.10045.3.1.7),
// DER-encoded with their tags.
constexpr std::uint8_t kEcPublicKeyOid[] = {0x06, 0x07, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};
constexpr std::uint8_t kP256Oid[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};

int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Base64 with line breaks and trailing '=' padding; anything else fails.
bool decode_base64(std::string_view text, Bytes& out) {
  std::uint32_t bits = 0;
  int count = 0;
  bool padding = false;
  for (const char c : text) {
    if (c == '\n' || c == '\r' || c == ' ' || c == '\t') continue;
    if (c == '=') {
      padding = true;
      continue;
    }
    const int v = base64_value(c);
    if (v < 0 || padding) return false;
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<std::uint8_t>(bits >> count));
    }
  }
  return true;
}

// The decoded blocks labelled `label`, in order; nullopt when one of them is malformed.
std::optional<std::vector<Bytes>> pem_blocks(std::string_view text, std::string_view label) {
  const std::string begin = "-----BEGIN " + std::string(label) + "-----";
  const std::string end = "-----END " + std::string(label) + "-----";
  std::vector<Bytes> blocks;
  for (std::size_t at = text.find(begin); at != std::string_view::npos; at = text.find(begin, at)) {
    const std::size_t body = at + begin.size();
    const std::size_t stop = text.find(end, body);
    if (stop == std::string_view::npos) return std::nullopt;
    Bytes der;
    if (!decode_base64(text.substr(body, stop - body), der)) return std::nullopt;
    blocks.push_back(std::move(der));
    at = stop + end.size();
  }
  return blocks;
}

// One DER element: its tag and the bytes of its content.
struct Element {
  std::uint8_t tag = 0;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

// Reads the next element from [at, end); definite lengths of up to three bytes (keys are small).
bool next_element(const std::uint8_t*& at, const std::uint8_t* end, Element& element) {
  if (end - at < 2) return false;
  element.tag = *at++;
  std::size_t length = *at++;
  if (length & 0x80) {
    const std::size_t bytes = length & 0x7F;
    if (bytes == 0 || bytes > 3 || static_cast<std::size_t>(end - at) < bytes) return false;
    length = 0;
    for (std::size_t i = 0; i < bytes; ++i) length = (length << 8) | *at++;
  }
  if (static_cast<std::size_t>(end - at) < length) return false;
  element = {element.tag, at, length};
  at += length;
  return true;
}

// [data, data + size) is exactly one SEQUENCE: [at, end) becomes its content.
bool open_sequence(const std::uint8_t* data, std::size_t size, const std::uint8_t*& at, const std::uint8_t*& end) {
  const std::uint8_t* next = data;
  Element outer;
  if (!next_element(next, data + size, outer) || outer.tag != 0x30 || next != data + size) return false;
  at = outer.data;
  end = outer.data + outer.size;
  return true;
}

bool equals(const Element& element, const std::uint8_t* encoded, std::size_t encoded_size) {
  // `encoded` holds tag and length; the element its content.
  return encoded_size >= 2 && element.tag == encoded[0] && element.size + 2 == encoded_size &&
         std::memcmp(element.data, encoded + 2, element.size) == 0;
}

// SEQUENCE { OID ecPublicKey, OID prime256v1 }
bool is_p256_algorithm(const Element& element) {
  if (element.tag != 0x30) return false;
  const std::uint8_t* at = element.data;
  const std::uint8_t* end = at + element.size;
  Element algorithm;
  Element curve;
  return next_element(at, end, algorithm) && equals(algorithm, kEcPublicKeyOid, sizeof kEcPublicKeyOid) &&
         next_element(at, end, curve) && equals(curve, kP256Oid, sizeof kP256Oid) && at == end;
}

// A BIT STRING with no unused bits holding an uncompressed point.
bool point_of(const Element& bits, os::P256PublicKey& key) {
  if (bits.tag != 0x03 || bits.size != key.size() + 1 || bits.data[0] != 0 || bits.data[1] != 0x04) return false;
  std::copy(bits.data + 1, bits.data + bits.size, key.begin());
  return true;
}

// SubjectPublicKeyInfo: SEQUENCE { algorithm, BIT STRING point }
bool read_spki(const Bytes& der, os::P256PublicKey& key) {
  const std::uint8_t* at = nullptr;
  const std::uint8_t* end = nullptr;
  if (!open_sequence(der.data(), der.size(), at, end)) return false;
  Element algorithm;
  Element bits;
  return next_element(at, end, algorithm) && is_p256_algorithm(algorithm) && next_element(at, end, bits) &&
         point_of(bits, key) && at == end;
}

// SEC1 ECPrivateKey: SEQUENCE { INTEGER 1, OCTET STRING d, [0] curve OPTIONAL, [1] point }
bool read_sec1(const std::uint8_t* data, std::size_t size, bool curve_required, os::P256PrivateKey& secret,
               os::P256PublicKey& key) {
  const std::uint8_t* at = nullptr;
  const std::uint8_t* end = nullptr;
  if (!open_sequence(data, size, at, end)) return false;
  Element version;
  Element scalar;
  if (!next_element(at, end, version) || version.tag != 0x02 || version.size != 1 || version.data[0] != 1 ||
      !next_element(at, end, scalar) || scalar.tag != 0x04 || scalar.size != secret.size()) {
    return false;
  }
  std::copy(scalar.data, scalar.data + scalar.size, secret.begin());
  bool curve_seen = false;
  bool point_seen = false;
  Element field;
  while (at != end) {
    if (!next_element(at, end, field)) return false;
    const std::uint8_t* inner = field.data;
    Element value;
    if (!next_element(inner, field.data + field.size, value)) return false;
    if (field.tag == 0xA0) {
      if (!equals(value, kP256Oid, sizeof kP256Oid)) return false;
      curve_seen = true;
    } else if (field.tag == 0xA1) {
      if (!point_of(value, key)) return false;
      point_seen = true;
    }
  }
  return point_seen && (curve_seen || !curve_required);
}

// PKCS#8: SEQUENCE { INTEGER 0, algorithm, OCTET STRING { ECPrivateKey } }
bool read_pkcs8(const Bytes& der, os::P256PrivateKey& secret, os::P256PublicKey& key) {
  const std::uint8_t* at = nullptr;
  const std::uint8_t* end = nullptr;
  if (!open_sequence(der.data(), der.size(), at, end)) return false;
  Element version;
  Element algorithm;
  Element wrapped;
  return next_element(at, end, version) && version.tag == 0x02 && version.size == 1 && version.data[0] == 0 &&
         next_element(at, end, algorithm) && is_p256_algorithm(algorithm) && next_element(at, end, wrapped) &&
         wrapped.tag == 0x04 && read_sec1(wrapped.data, wrapped.size, false, secret, key);
}

}  // namespace

bool read_pem_public_keys(std::string_view text, std::vector<os::P256PublicKey>& keys) {
  const auto blocks = pem_blocks(text, "PUBLIC KEY");
  if (!blocks || blocks->empty()) return false;
  for (const Bytes& der : *blocks) {
    os::P256PublicKey key{};
    if (!read_spki(der, key)) return false;
    keys.push_back(key);
  }
  return true;
}

bool read_pem_private_key(std::string_view text, os::P256PrivateKey& secret, os::P256PublicKey& key) {
  if (const auto sec1 = pem_blocks(text, "EC PRIVATE KEY"); sec1 && !sec1->empty()) {
    return read_sec1(sec1->front().data(), sec1->front().size(), true, secret, key);
  }
  const auto pkcs8 = pem_blocks(text, "PRIVATE KEY");
  return pkcs8 && !pkcs8->empty() && read_pkcs8(pkcs8->front(), secret, key);
}

std::string key_id_of(const os::P256PublicKey& key) {
  os::Sha256 hash;
  os::Sha256Digest digest{};
  if (!hash.begin() || !hash.update(key.data(), key.size()) || !hash.finish(digest)) return std::string();
  return hex_of(digest.data(), 8);
}

}  // namespace corvane
