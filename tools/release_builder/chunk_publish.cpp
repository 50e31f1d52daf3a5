#include "release_builder/chunk_publish.h"

#include "base/hex_text.h"
#include "os/fs.h"
#include "os/sha256.h"
#include "update/chunk_index.h"
#include "update/chunker.h"
#include "update/replacement.h"

namespace corvane::tools {

bool publish_chunk_index(const std::wstring& plain_target, std::string_view bytes, bool packed, ManifestFile& entry,
                         std::string& error) {
  const auto fail = [&](const std::string& what) {
    error = what + ": " + entry.path;
    return false;
  };
  if (bytes.empty()) return true;  // nothing to chunk: an empty file is always fetched whole
  ChunkIndex index;
  index.params = kDefaultChunkParams;
  index.file_size = bytes.size();
  if (!chunk_bytes(bytes, index.params, index.chunks)) return fail("cannot hash chunks");
  const std::string text = write_chunk_index(index);
  os::Sha256 hash;
  os::Sha256Digest digest{};
  if (!hash.begin() || !hash.update(text.data(), text.size()) || !hash.finish(digest)) return fail("cannot hash");
  create_parent_dirs(plain_target);
  // A plain file is published at this path anyway; a packed one gets its unpacked copy here.
  if (packed) {
    if (const os::ErrorCode e = os::write_file(plain_target, bytes)) {
      return fail("cannot write (code " + std::to_string(e) + ")");
    }
  }
  if (const os::ErrorCode e = os::write_file(plain_target + L".chunks", text)) {
    return fail("cannot write the chunk index (code " + std::to_string(e) + ")");
  }
  entry.chunks_sha256 = hex_of(digest);
  entry.chunks_size = static_cast<std::uint32_t>(text.size());
  return true;
}

}  // namespace corvane::tools
