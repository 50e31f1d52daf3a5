#include "update/manifest.h"

namespace corvane {
namespace {

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

bool is_unreserved(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '/';
}

bool longer_with_prefix(std::string_view path, std::string_view prefix) {
  return path.size() > prefix.size() && path.substr(0, prefix.size()) == prefix;
}

}  // namespace

bool is_sha256_hex(std::string_view text) {
  if (text.size() != 64) return false;
  for (const char c : text) {
    if (!is_hex_digit(c)) return false;
  }
  return true;
}

bool is_allowed_path(std::string_view path) {
  if (path.empty()) return false;
  if (path.find("..") != std::string_view::npos) return false;
  if (path.find_first_of("\\:*?\"<>|") != std::string_view::npos) return false;
  if (path.front() == '/') return false;
  if (path == "Corvane.exe") return true;
  return longer_with_prefix(path, "bin/") || longer_with_prefix(path, "data/ngtables/");
}

std::string percent_encode_path(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (const char c : path) {
    if (is_unreserved(c)) {
      out.push_back(c);
    } else {
      const auto b = static_cast<unsigned char>(c);
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0x0F]);
    }
  }
  return out;
}

std::string file_url_path(const ManifestFile& entry) {
  std::string url = "files/" + percent_encode_path(entry.path);
  if (entry.packed_size != 0) url += ".lzms";
  return url;
}

}  // namespace corvane
