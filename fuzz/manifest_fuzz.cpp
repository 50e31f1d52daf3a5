// Release manifest reader, and with it the whole JSON cursor: any text either fails or gives a
// manifest that keeps every promise the update run relies on.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "update/manifest.h"

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes the %XX form back; traps on anything percent_encode_path must not produce.
std::string percent_decode(std::string_view encoded) {
  std::string out;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] != '%') {
      out.push_back(encoded[i]);
      continue;
    }
    if (i + 2 >= encoded.size()) __builtin_trap();
    const int high = hex_value(encoded[i + 1]);
    const int low = hex_value(encoded[i + 2]);
    if (high < 0 || low < 0) __builtin_trap();
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  corvane::Manifest manifest;
  if (!corvane::parse_manifest(text, manifest)) return 0;
  if (manifest.version.empty() || manifest.files.empty()) __builtin_trap();
  for (const corvane::ManifestFile& file : manifest.files) {
    if (!corvane::is_allowed_path(file.path) || !corvane::is_sha256_hex(file.sha256)) __builtin_trap();
    const std::string url = corvane::file_url_path(file);
    const std::string_view prefix = "files/";
    if (url.compare(0, prefix.size(), prefix) != 0) __builtin_trap();
    std::string_view encoded = std::string_view(url).substr(prefix.size());
    if (file.packed_size != 0) {
      if (encoded.size() < 5 || encoded.substr(encoded.size() - 5) != ".lzms") __builtin_trap();
      encoded.remove_suffix(5);
    }
    if (percent_decode(encoded) != file.path) __builtin_trap();
  }
  return 0;
}
