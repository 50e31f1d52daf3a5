#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "release_builder/signing.h"
#include "update/manifest.h"

// Builds a release channel folder from a folder laid out like a client: files/<path> (or
// files/<path>.lzms for packed files) and manifest.json.
namespace corvane::tools {

struct ReleaseOptions {
  std::wstring source;                  // the client's files, in the client's layout
  std::wstring out;                     // the channel folder to write; must be missing or empty
  std::string version = "1.0.0";
  std::string date;
  std::vector<std::string> pack_globs;  // manifest paths matching any of these are packed (not empty files)
  std::vector<std::string> chunk_globs; // manifest paths matching any of these get a chunk index
  std::uint64_t block_size = 1048576;   // LZMS block size of packed files, 64 KiB .. 64 MiB
  unsigned threads = 2;                 // files packed at the same time
  Signing signing;                      // signature, serial, expiry and key list of the manifest
};

// The manifest path of a file found at `relative` ('/'-separated) below the source folder:
// "uninstall.exe" at the top is published as "bin/uninstall.exe"; everything else as it is.
// Empty when the file may not be published (is_allowed_path refuses it).
std::string manifest_path_for(std::string_view relative);

// '*' matches any run of bytes (also across '/'), '?' any one byte, anything else itself.
bool glob_match(std::string_view pattern, std::string_view text);

// The manifest text: format 1, the version, the date and the files in the given order.
std::string manifest_text(std::string_view version, std::string_view date, const std::vector<ManifestFile>& files);

// Writes the release (signed as `options.signing` says). False with a message in `error` on the
// first problem; files written before it stay, manifest.json is written last.
[[nodiscard]] bool build_release(const ReleaseOptions& options, std::vector<ManifestFile>& files,
                                 std::string& error);

}  // namespace corvane::tools
