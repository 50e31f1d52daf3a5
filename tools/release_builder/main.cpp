// corvane-release-builder: turns a folder laid out like a client into a release channel folder
// (files/ and manifest.json) that the update engine can install from, optionally signed; or, with
// --key-list, writes a channel's signed list of release keys.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "os/fs.h"
#include "os/text.h"
#include "release_builder/release.h"
#include "tool_entry.h"

namespace {

constexpr const char* kUsage =
    "usage: corvane-release-builder --source DIR --out DIR [--version V] [--date D]\n"
    "                               [--pack GLOB]... [--chunk GLOB]... [--block-size N]\n"
    "  --source DIR      the client's files in the client's layout (Corvane.exe, bin/...,\n"
    "                    data/ngtables/...; uninstall.exe at the top is published as bin/uninstall.exe)\n"
    "  --out DIR         the channel folder to write (missing or empty)\n"
    "  --version V       release version (default 1.0.0)\n"
    "  --date D          release date, free text (default empty)\n"
    "  --pack GLOB       pack files whose manifest path matches (* and ?; * crosses /); repeatable;\n"
    "                    empty files stay plain; on Windows the system's compressor packs\n"
    "  --chunk GLOB      publish a chunk index (and the unpacked file) for files whose manifest path\n"
    "                    matches, so that updates fetch only changed chunks; repeatable\n"
    "  --block-size N    LZMS block size in bytes, 65536 .. 67108864 (default 1048576)\n"
    "  --sign-key KEY    sign manifest.json with this PEM P-256 private key (manifest.json.sig)\n"
    "  --serial N        the release's serial; clients refuse releases below the highest they have\n"
    "  --expires TIME    UTC time after which clients refuse the manifest, 2027-01-31T00:00:00Z\n"
    "\n"
    "       corvane-release-builder --key-list --root-key ROOT.pem --release-key KEY.pub... --out DIR\n"
    "                               [--serial N]\n"
    "  writes keys.json and keys.json.sig into the channel folder DIR: the release keys (PEM public\n"
    "  keys; repeatable) signed by the root key; N numbers the list (clients refuse lower ones)\n"
    "\n"
    "       corvane-release-builder --sign-manifest DIR --sign-key KEY\n"
    "  signs the manifest.json already in the channel folder DIR as it is (manifest.json.sig)\n";

// The text of a PEM file named on the command line.
bool read_pem(const char* path, std::string& text) {
  if (corvane::os::read_file(corvane::os::from_utf8(path), text)) return true;
  std::fprintf(stderr, "cannot read %s\n", path);
  return false;
}

bool parse_size(const char* text, std::uint64_t& value) {
  char* end = nullptr;
  if (*text < '0' || *text > '9') return false;
  value = std::strtoull(text, &end, 10);
  return end != text && *end == '\0';
}

}  // namespace

int tool_main(const std::vector<std::string>& args) {
  const int argc = static_cast<int>(args.size());
  using namespace corvane;
  tools::ReleaseOptions options;
  tools::Signing& signing = options.signing;
  bool key_list = false;
  std::string root_key_pem;
  std::wstring sign_manifest;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = args[i];
    const char* value = i + 1 < argc ? args[i + 1].c_str() : nullptr;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--key-list") {
      key_list = true;
      continue;
    }
    if (value == nullptr) {
      std::fprintf(stderr, "missing value after %s\n%s", args[i].c_str(), kUsage);
      return 2;
    }
    ++i;
    if (arg == "--source") {
      options.source = os::from_utf8(value);
    } else if (arg == "--out") {
      options.out = os::from_utf8(value);
    } else if (arg == "--version") {
      options.version = value;
    } else if (arg == "--date") {
      options.date = value;
    } else if (arg == "--pack") {
      options.pack_globs.emplace_back(value);
    } else if (arg == "--chunk") {
      options.chunk_globs.emplace_back(value);
    } else if (arg == "--block-size") {
      if (!parse_size(value, options.block_size)) {
        std::fprintf(stderr, "not a number: %s\n", value);
        return 2;
      }
    } else if (arg == "--sign-key") {
      if (!read_pem(value, signing.sign_key_pem)) return 2;
    } else if (arg == "--root-key") {
      if (!read_pem(value, root_key_pem)) return 2;
    } else if (arg == "--release-key") {
      if (!read_pem(value, signing.release_keys_pem.emplace_back())) return 2;
    } else if (arg == "--serial") {
      if (!parse_size(value, signing.serial)) {
        std::fprintf(stderr, "not a number: %s\n", value);
        return 2;
      }
    } else if (arg == "--sign-manifest") {
      sign_manifest = os::from_utf8(value);
    } else if (arg == "--expires") {
      signing.expires = value;
    } else {
      std::fprintf(stderr, "unknown option %s\n%s", args[i - 1].c_str(), kUsage);
      return 2;
    }
  }
  std::string error;
  if (key_list) {
    if (root_key_pem.empty() || signing.release_keys_pem.empty() || options.out.empty()) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    signing.root_key_pem = root_key_pem;
    signing.key_serial = signing.serial;
    if (!tools::write_key_list(options.out, signing, error)) {
      std::fprintf(stderr, "corvane-release-builder: %s\n", error.c_str());
      return 1;
    }
    std::printf("key list %llu with %zu release key files\n", static_cast<unsigned long long>(signing.key_serial),
                signing.release_keys_pem.size());
    return 0;
  }
  if (!sign_manifest.empty()) {
    std::string manifest;
    std::string signature;
    if (signing.sign_key_pem.empty() || !os::read_file(sign_manifest + L"/manifest.json", manifest)) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    if (!tools::sign_bytes(signing.sign_key_pem, manifest, signature, error) ||
        os::write_file_atomically(sign_manifest + L"/manifest.json.sig", signature) != os::kErrorSuccess) {
      std::fprintf(stderr, "corvane-release-builder: cannot sign: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  if (options.source.empty() || options.out.empty() || !root_key_pem.empty() || !signing.release_keys_pem.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::vector<ManifestFile> files;
  if (!tools::build_release(options, files, error)) {
    std::fprintf(stderr, "corvane-release-builder: %s\n", error.c_str());
    return 1;
  }
  std::size_t packed = 0;
  for (const ManifestFile& f : files) packed += f.packed_size != 0 ? 1 : 0;
  std::printf("%zu files (%zu packed), version %s\n", files.size(), packed, options.version.c_str());
  return 0;
}
