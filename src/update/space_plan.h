#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "update/manifest.h"

// How much the update run writes below the client folder, so that a disk that cannot hold it is
// found before the first byte is downloaded rather than after.
namespace corvane {

// A reserve on top of what the run counts: launcher.json, the journal, the resume records and the
// file system's own bookkeeping.
inline constexpr std::uint64_t kSpaceMargin = 8u << 20;

// The bytes the run writes for `changed`: the download of each distinct content (its packed size
// when packed) unless its staging file in `staging_dir` already has that length (reserved by an
// earlier run), the unpacked content of each packed download unless that is staged at its full
// length, and a copy for every further entry of one content. Moving files in and aside costs
// nothing. The margin is not included. A content in `delta_contents` (may be null) is built by its
// chunks into "<sha256>.delta" (its length, unless already staged at it) and, should that fail,
// downloaded whole after that file is gone: it counts the larger of the two.
std::uint64_t bytes_to_write(const std::vector<ManifestFile>& changed, std::wstring_view staging_dir,
                             const std::set<std::string>* delta_contents = nullptr);

}  // namespace corvane
