// corvane-release-builder: turns a folder laid out like a client into a release channel folder
// (files/ and manifest.json) that the update engine can install from.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

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
    "  --block-size N    LZMS block size in bytes, 65536 .. 67108864 (default 1048576)\n";

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
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = args[i];
    const char* value = i + 1 < argc ? args[i + 1].c_str() : nullptr;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
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
    } else {
      std::fprintf(stderr, "unknown option %s\n%s", args[i - 1].c_str(), kUsage);
      return 2;
    }
  }
  if (options.source.empty() || options.out.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::vector<ManifestFile> files;
  std::string error;
  if (!tools::build_release(options, files, error)) {
    std::fprintf(stderr, "corvane-release-builder: %s\n", error.c_str());
    return 1;
  }
  std::size_t packed = 0;
  for (const ManifestFile& f : files) packed += f.packed_size != 0 ? 1 : 0;
  std::printf("%zu files (%zu packed), version %s\n", files.size(), packed, options.version.c_str());
  return 0;
}
