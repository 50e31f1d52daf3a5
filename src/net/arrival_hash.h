#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

#include "net/download_file.h"
#include "os/sha256.h"

// Hashing a download while the pool runs, so that the content's SHA-256 is known when the last
// byte has landed instead of being read back once the pool has ended. Only files delivered
// unpacked are hashed this way; what the digest decides stays with verification.
namespace corvane {

// A file fetched whole: hashes one piece that has just been written at `offset`. Pieces of one
// attempt arrive in order on the file's one worker; a piece at offset 0 opens a new attempt and
// starts the hash afresh, and a piece out of order abandons it.
void hash_arriving_piece(DownloadFile& file, std::uint64_t offset, const std::uint8_t* data,
                         std::size_t size);

// A file fetched in ranges: an attempt at the part at `part_offset` is about to write. When that
// part was already complete its bytes may have been hashed as they were, so the digest is not used.
// Takes `file.lock`.
void note_part_attempt(DownloadFile& file, std::uint32_t part_offset);

// A file fetched in ranges: reads back and hashes, in file order, every complete part that follows
// what is hashed so far, bytes of an earlier run included, and finishes the digest after the last
// one. Called by a worker after each part it fetched; when another worker is already at it, that
// one carries on with the new part and this call returns at once. Takes `file.lock`, but not while
// reading.
void hash_completed_parts(DownloadFile& file);

// Once the pool has ended: the SHA-256 of all `file.size` bytes as they were written, or nothing
// when the file was not hashed whole in order (packed, resumed whole from an earlier run, an attempt
// cut short, a part written twice, or a failing read), and verification must read the file.
std::optional<os::Sha256Digest> arrival_digest(const DownloadFile& file);

}  // namespace corvane
