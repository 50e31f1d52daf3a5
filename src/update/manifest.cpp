#include "update/manifest.h"

#include "json/json_cursor.h"

namespace corvane {
namespace {

constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFFu;
constexpr std::uint64_t kSupportedFormat = 1;

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

bool is_unreserved(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '/';
}

bool longer_with_prefix(std::string_view path, std::string_view prefix) {
  return path.size() > prefix.size() && path.substr(0, prefix.size()) == prefix;
}

bool ends_with_ignoring_ascii_case(std::string_view text, std::string_view tail) {
  if (text.size() < tail.size()) return false;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    char c = text[text.size() - tail.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    if (c != tail[i]) return false;
  }
  return true;
}

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }

bool equals_ignoring_ascii_case(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (ascii_upper(text[i]) != upper[i]) return false;
  }
  return true;
}

// A name that Windows opens as a device instead of a file, in any folder: CON, PRN, AUX, NUL,
// COM0-COM9, LPT0-LPT9 (also with the superscript digits 1, 2 and 3), CONIN$ and CONOUT$, in any
// letter case, also with an extension or with spaces before it ("nul.txt", "COM1 .dll"). Such a
// file could be fetched but never put in place.
bool is_device_name(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (equals_ignoring_ascii_case(base, device)) return true;
  }
  if (base.size() < 4) return false;
  const std::string_view stem = base.substr(0, 3);
  if (!equals_ignoring_ascii_case(stem, "COM") && !equals_ignoring_ascii_case(stem, "LPT")) return false;
  const std::string_view digit = base.substr(3);
  // U+00B9, U+00B2 and U+00B3 in UTF-8.
  return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" ||
         digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

// One name of a path names exactly one thing of its own. An empty name (a doubled or trailing '/')
// and "." name the folder above; Windows drops a trailing '.' or space, so "x." and "x " would be
// "x". A name ending in ".crvnold" is a backup name of the replacement, which the engine moves
// and deletes on its own.
bool is_distinct_name(std::string_view name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ' || is_device_name(name)) return false;
  return !(name.size() > 8 && ends_with_ignoring_ascii_case(name, ".crvnold"));
}

// Reads a size member: an unsigned integer that fits the 32 bits of the file record.
bool read_size(JsonCursor& cursor, std::uint32_t& out) {
  std::uint64_t value = 0;
  if (!cursor.read_unsigned(value) || value > kMaxFileSize) return false;
  out = static_cast<std::uint32_t>(value);
  return true;
}

// Reads the members of one object whose opening brace has been taken, up to and including its
// closing brace; `read_member` reads the value of each member by name and returns false to
// abandon the text. Empty objects, any member order, no trailing comma.
template <typename ReadMember>
bool read_object_members(JsonCursor& cursor, ReadMember&& read_member) {
  if (cursor.expect_char('}')) return true;
  std::string name;
  do {
    if (!cursor.read_string(name) || !cursor.expect_char(':') || !read_member(name)) return false;
  } while (cursor.expect_char(','));
  return cursor.expect_char('}');
}

}  // namespace

bool parse_manifest(std::string_view text, Manifest& manifest) {
  manifest = Manifest{};
  JsonCursor cursor(text);
  std::uint64_t format = 0;
  bool files_seen = false;
  if (!cursor.expect_char('{')) return false;
  const bool read = read_object_members(cursor, [&](const std::string& name) {
    if (name == "format") return cursor.read_unsigned(format);
    if (name == "version") return cursor.read_string(manifest.version);
    if (name == "date") return cursor.read_string(manifest.date);
    if (name == "files") {
      files_seen = true;
      return parse_file_list(cursor, manifest.files);
    }
    return cursor.skip_value(0);
  });
  return read && cursor.at_end() && format == kSupportedFormat && !manifest.version.empty() &&
         files_seen && !manifest.files.empty();
}

bool parse_file_list(JsonCursor& cursor, std::vector<ManifestFile>& files) {
  if (!cursor.expect_char('[')) return false;
  if (cursor.expect_char(']')) return true;
  do {
    ManifestFile entry;
    if (!parse_file_entry(cursor, entry)) return false;
    files.push_back(std::move(entry));
  } while (cursor.expect_char(','));
  return cursor.expect_char(']');
}

bool parse_file_entry(JsonCursor& cursor, ManifestFile& entry) {
  bool has_path = false;
  bool has_sha256 = false;
  bool has_size = false;
  if (!cursor.expect_char('{')) return false;
  const bool read = read_object_members(cursor, [&](const std::string& name) {
    if (name == "path") return has_path = cursor.read_string(entry.path);
    if (name == "sha256") return has_sha256 = cursor.read_string(entry.sha256);
    if (name == "size") return has_size = read_size(cursor, entry.size);
    if (name == "packed_size") return read_size(cursor, entry.packed_size);
    if (name == "chunks_sha256") return cursor.read_string(entry.chunks_sha256);
    if (name == "chunks_size") return read_size(cursor, entry.chunks_size);
    return cursor.skip_value(0);
  });
  if (!is_sha256_hex(entry.chunks_sha256) || entry.chunks_size == 0) {
    entry.chunks_sha256.clear();
    entry.chunks_size = 0;
  }
  return read && has_path && has_sha256 && has_size && is_sha256_hex(entry.sha256) &&
         is_allowed_path(entry.path);
}

bool is_sha256_hex(std::string_view text) {
  if (text.size() != 64) return false;
  for (const char c : text) {
    if (!is_hex_digit(c)) return false;
  }
  return true;
}

bool is_allowed_path(std::string_view path) {
  if (path.empty()) return false;
  // A NUL byte would cut the name short at the system call and name another object; Windows
  // allows no control character in a file name at all.
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
  }
  if (path.find("..") != std::string_view::npos) return false;
  if (path.find_first_of("\\:*?\"<>|") != std::string_view::npos) return false;
  if (path.front() == '/') return false;
  if (path == "Corvane.exe") return true;
  if (!longer_with_prefix(path, "bin/") && !longer_with_prefix(path, "data/ngtables/")) return false;
  // Two spellings of one place ("bin/x", "bin//x", "bin/./x") would make two entries of one file.
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find('/', start);
    if (!is_distinct_name(path.substr(start, end == std::string_view::npos ? end : end - start))) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
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
  std::string url = plain_file_url_path(entry);
  if (entry.packed_size != 0) url += ".lzms";
  return url;
}

std::string plain_file_url_path(const ManifestFile& entry) { return "files/" + percent_encode_path(entry.path); }

std::string chunk_index_url_path(const ManifestFile& entry) { return plain_file_url_path(entry) + ".chunks"; }

}  // namespace corvane
