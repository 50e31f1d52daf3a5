#include "release_builder/release.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <limits>
#include <mutex>
#include <set>
#include <thread>

#include "base/paths.h"
#include "os/fs.h"
#include "os/platform.h"
#include "os/text.h"
#include "release_builder/chunk_publish.h"
#include "release_builder/lzms_pack.h"
#include "update/lzms_frame.h"
#include "update/replacement.h"
#include "update/verification.h"

namespace corvane::tools {
namespace {

constexpr std::string_view kUninstallerTopName = "uninstall.exe";
constexpr std::string_view kUninstallerManifestPath = "bin/uninstall.exe";

struct SourceFile {
  std::string relative;  // '/'-separated, below the source folder
  std::wstring full;
};

// Collects every file below `folder`; links are refused because what they lead to is not part of
// the folder's layout.
bool collect_files(const std::wstring& folder, const std::string& prefix, std::vector<SourceFile>& files,
                   std::string& error) {
  std::vector<os::DirEntry> entries;
  if (!os::list_directory(folder, entries)) {
    error = "cannot read folder " + os::to_utf8(folder);
    return false;
  }
  for (const os::DirEntry& entry : entries) {
    const std::string relative = prefix + os::to_utf8(entry.name);
    const std::wstring full = join_path(folder, entry.name);
    if (entry.info.is_link) {
      error = "links are not published: " + relative;
      return false;
    }
    if (entry.info.is_directory) {
      if (!collect_files(full, relative + "/", files, error)) return false;
    } else {
      files.push_back({relative, full});
    }
  }
  return true;
}

// out + "/files/" + the manifest path, with the platform's separators: the server path of the
// file without its URL encoding.
std::wstring published_path(const std::wstring& out, const ManifestFile& entry) {
  std::wstring path = join_path(join_path(out, L"files"), os::from_utf8(entry.path));
  std::replace(path.begin(), path.end(), L'/', os::kSep);
  return path;
}

void append_json_string(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (b < 0x20) {
      out += "\\u00";
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0x0F]);
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
}

bool prepare_out_folder(const std::wstring& out, std::string& error) {
  std::vector<os::DirEntry> entries;
  if (os::list_directory(out, entries)) {
    if (entries.empty()) return true;
    error = "the output folder is not empty: " + os::to_utf8(out);
    return false;
  }
  if (os::file_info(out)) {
    error = "the output path is not a folder: " + os::to_utf8(out);
    return false;
  }
  create_parent_dirs(out);
  if (const os::ErrorCode e = os::create_directory(out)) {
    error = "cannot create " + os::to_utf8(out) + " (code " + std::to_string(e) + ")";
    return false;
  }
  return true;
}

// Writes one file of the release and fills its entry's sha256, size and packed_size.
bool publish_file(const ReleaseOptions& options, const SourceFile& source, bool pack, bool chunk,
                  ManifestFile& entry, std::string& error) {
  const auto fail = [&](const std::string& what) {
    error = what + ": " + entry.path;
    return false;
  };
  std::string bytes;
  if (!os::read_file(source.full, bytes)) return fail("cannot read");
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) return fail("larger than 4 GiB - 1");
  if (!sha256_file(source.full, entry.sha256)) return fail("cannot hash");
  entry.size = static_cast<std::uint32_t>(bytes.size());
  std::wstring target = published_path(options.out, entry);
  if (chunk && !publish_chunk_index(target, bytes, pack && !bytes.empty(), entry, error)) return false;
  // Empty content is published plain: a packed frame of it would be a header alone, which no
  // Windows-made sample shows and which saves nothing.
  if (pack && !bytes.empty()) {
    std::string frame;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    if (!pack_lzms(std::span<const std::uint8_t>(data, bytes.size()), options.block_size, frame)) {
      return fail("cannot pack");
    }
    if (frame.size() > std::numeric_limits<std::uint32_t>::max()) return fail("packed file larger than 4 GiB - 1");
    entry.packed_size = static_cast<std::uint32_t>(frame.size());
    bytes = std::move(frame);
    target += L".lzms";
  }
  create_parent_dirs(target);
  if (const os::ErrorCode e = os::write_file(target, bytes)) return fail("cannot write (code " + std::to_string(e) + ")");
  return true;
}

}  // namespace

std::string manifest_path_for(std::string_view relative) {
  const std::string_view path = relative == kUninstallerTopName ? kUninstallerManifestPath : relative;
  return is_allowed_path(path) ? std::string(path) : std::string();
}

bool glob_match(std::string_view pattern, std::string_view text) {
  std::size_t p = 0;
  std::size_t t = 0;
  std::size_t star = std::string_view::npos;
  std::size_t resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string manifest_text(std::string_view version, std::string_view date, const std::vector<ManifestFile>& files) {
  std::string text = "{\n  \"format\": 1,\n  \"version\": ";
  append_json_string(text, version);
  text += ",\n  \"date\": ";
  append_json_string(text, date);
  text += ",\n  \"files\": [";
  for (std::size_t i = 0; i < files.size(); ++i) {
    const ManifestFile& f = files[i];
    text += i == 0 ? "\n    {\"path\": " : ",\n    {\"path\": ";
    append_json_string(text, f.path);
    text += ", \"sha256\": ";
    append_json_string(text, f.sha256);
    text += ", \"size\": " + std::to_string(f.size) + ", \"packed_size\": " + std::to_string(f.packed_size);
    if (f.chunks_size != 0) {
      text += ", \"chunks_sha256\": \"" + f.chunks_sha256 + "\", \"chunks_size\": " + std::to_string(f.chunks_size);
    }
    text += "}";
  }
  text += "\n  ]\n}\n";
  return text;
}

bool build_release(const ReleaseOptions& options, std::vector<ManifestFile>& files, std::string& error) {
  files.clear();
  if (options.version.empty()) {
    error = "the version must not be empty";
    return false;
  }
  if (!lzms_block_size_allowed(options.block_size)) {
    error = "the block size " + std::to_string(options.block_size) + " is outside the LZMS block sizes " +
            std::to_string(kLzmsMinBlockSize) + " .. " + std::to_string(kLzmsMaxBlockSize) +
            " that the Windows Compression API accepts";
    return false;
  }
  if (!options.pack_globs.empty() && !lzms_packing_available()) {
    error = "this system cannot pack files: it has no LZMS compressor (the Windows Compression API of "
            "cabinet.dll is missing); build releases with packed files on Windows or Linux";
    return false;
  }
  std::vector<SourceFile> sources;
  if (!collect_files(options.source, "", sources, error)) return false;
  std::vector<std::pair<std::string, const SourceFile*>> order;
  std::set<std::string> seen;
  for (const SourceFile& source : sources) {
    std::string path = manifest_path_for(source.relative);
    if (path.empty()) {
      error = "not a place the client may receive files: " + source.relative;
      return false;
    }
    if (!seen.insert(path).second) {
      error = "published twice as " + path + ": " + source.relative;
      return false;
    }
    order.emplace_back(std::move(path), &source);
  }
  if (order.empty()) {
    error = "no files in " + os::to_utf8(options.source);
    return false;
  }
  std::sort(order.begin(), order.end());
  if (!prepare_out_folder(options.out, error)) return false;

  files.resize(order.size());
  std::atomic<std::size_t> next{0};
  std::mutex error_lock;
  std::string first_error;
  const auto worker = [&] {
    for (std::size_t i = next++; i < order.size(); i = next++) {
      ManifestFile& entry = files[i];
      entry.path = order[i].first;
      const bool pack = std::any_of(options.pack_globs.begin(), options.pack_globs.end(),
                                    [&](const std::string& glob) { return glob_match(glob, entry.path); });
      const bool chunk = std::any_of(options.chunk_globs.begin(), options.chunk_globs.end(),
                                     [&](const std::string& glob) { return glob_match(glob, entry.path); });
      std::string message;
      if (!publish_file(options, *order[i].second, pack, chunk, entry, message)) {
        std::lock_guard lock(error_lock);
        if (first_error.empty()) first_error = message;
        next = order.size();
      }
    }
  };
  std::vector<std::thread> threads;
  const unsigned count = std::max(1u, std::min<unsigned>(options.threads, static_cast<unsigned>(order.size())));
  for (unsigned i = 0; i < count; ++i) threads.emplace_back(worker);
  for (std::thread& t : threads) t.join();
  if (!first_error.empty()) {
    error = first_error;
    return false;
  }
  return publish_manifest(options.out, manifest_text(options.version, options.date, files), options.signing, error);
}

}  // namespace corvane::tools
