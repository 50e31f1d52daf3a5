#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The release manifest of a channel: "manifest.json" on the CDN, and the server paths of the
// files it lists.
namespace corvane {

class JsonCursor;
// The download planning's types (net/download_plan.h).
struct DownloadEntry;
struct DownloadPool;
struct FileTable;
struct PlanFailure;

// One file of the client as the manifest lists it.
struct ManifestFile {
  std::string path;               // relative location in the client folder, '/' separated (UTF-8)
  std::string sha256;             // 64 lower-case hexadecimal digits of the unpacked content
  std::uint32_t size = 0;         // length of the content in bytes
  std::uint32_t packed_size = 0;  // length of the LZMS-packed download; 0: delivered unpacked
  // Optional: the chunk index published beside the unpacked file ("files/<path>.chunks"), which
  // lets an update fetch only the chunks that changed. Both empty/0 when the entry has none (or
  // names it badly: the file is then fetched whole as before).
  std::string chunks_sha256;
  std::uint32_t chunks_size = 0;
};

struct Manifest {
  std::string version;  // never empty in a valid manifest
  std::string date;     // free text, may be empty
  std::vector<ManifestFile> files;
};

// Parses and validates a manifest body; false on anything that is not a valid manifest, after
// which `manifest` must not be used.
[[nodiscard]] bool parse_manifest(std::string_view text, Manifest& manifest);
// Reads the "files" array, appending one entry per element.
[[nodiscard]] bool parse_file_list(JsonCursor& cursor, std::vector<ManifestFile>& files);
// Reads one file object.
[[nodiscard]] bool parse_file_entry(JsonCursor& cursor, ManifestFile& entry);

// Exactly 64 characters, each 0-9 or a-f.
bool is_sha256_hex(std::string_view text);
// "Corvane.exe", or below "bin/" or "data/ngtables/", without "..", without a control character
// (bytes 0-31, NUL included) or any of \ : * ? " < > | and not starting with "/". Every name
// between the '/' is one distinct name: not empty (no "//", no trailing '/'), not ending in '.' or a
// space (so never "."), not a backup name ending in ".crvnold", and not a name that Windows opens
// as a device (CON, PRN, AUX, NUL, COM0-9, LPT0-9 and their superscript-digit forms, CONIN$,
// CONOUT$; any letter case, any extension). Each allowed path is the only spelling of its place,
// and the same file on every platform.
bool is_allowed_path(std::string_view path);
// Copies letters, digits and - . _ ~ / and writes every other byte as %XX (upper case).
std::string percent_encode_path(std::string_view path);
// "files/" + the encoded path, + ".lzms" for a packed file; relative to the channel's base path.
std::string file_url_path(const ManifestFile& entry);
// "files/" + the encoded path: the unpacked file, which byte ranges are read from.
std::string plain_file_url_path(const ManifestFile& entry);
// plain_file_url_path + ".chunks".
std::string chunk_index_url_path(const ManifestFile& entry);

// The entry as the download planning takes it (fetched from file_url_path).
DownloadEntry download_entry(const ManifestFile& entry);
// The download size of an entry: its packed size when it has one, else its size.
inline std::uint32_t download_size(const ManifestFile& entry) {
  return entry.packed_size != 0 ? entry.packed_size : entry.size;
}
// plan_downloads of the entries `files` (update/manifest_downloads.cpp).
[[nodiscard]] bool plan_downloads(const std::vector<ManifestFile>& files, bool ranges_ok,
                                  std::wstring_view staging_dir, FileTable& table, DownloadPool& pool,
                                  PlanFailure& failure);

}  // namespace corvane
