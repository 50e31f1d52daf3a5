#pragma once
#include <string>
#include <string_view>

#include "update/manifest.h"

// What a release publishes for a file marked with --chunk, beside its usual download: the
// unpacked file at its plain files/ path (the byte ranges of updates are read from it; a packed
// file keeps its .lzms for whole downloads) and its chunk index "<plain path>.chunks".
namespace corvane::tools {

// `plain_target` is the file's plain published path; `bytes` its content. Fills the entry's
// chunks_sha256 and chunks_size. False with a message in `error`.
[[nodiscard]] bool publish_chunk_index(const std::wstring& plain_target, std::string_view bytes, bool packed,
                                       ManifestFile& entry, std::string& error);

}  // namespace corvane::tools
