#include "net/arrival_hash.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>

namespace corvane {
namespace {

// As for hashing client files: small enough to stay in the core's cache between copy and hash.
constexpr std::size_t kReadBackBuffer = 65536;

// Feeds [start, end) of the staging file to `hash` through `buffer`.
bool read_into_hash(os::File& handle, std::uint64_t start, std::uint64_t end, os::Sha256& hash,
                    std::uint8_t* buffer) {
  while (start < end) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(end - start, kReadBackBuffer));
    std::size_t got = 0;
    if (handle.read_at(start, buffer, want, got) != os::kErrorSuccess || got == 0) return false;
    if (!hash.update(buffer, got)) return false;
    start += got;
  }
  return true;
}

}  // namespace

void hash_arriving_piece(DownloadFile& file, std::uint64_t offset, const std::uint8_t* data,
                         std::size_t size) {
  ArrivalHash& h = file.arrival;
  if (offset == 0) {
    h.complete = false;
    h.hashed = 0;
    h.begun = h.hash.begin();
  }
  if (!h.begun) return;
  if (offset != h.hashed || !h.hash.update(data, size)) {
    h.begun = false;
    return;
  }
  h.hashed += size;
  if (h.hashed == file.size) {
    h.complete = h.hash.finish(h.digest);
    h.begun = false;
  }
}

void note_part_attempt(DownloadFile& file, std::uint32_t part_offset) {
  std::lock_guard<std::mutex> guard(file.lock);
  if (file.done_offsets.count(part_offset) != 0) file.arrival.spoiled = true;
}

void hash_completed_parts(DownloadFile& file) {
  std::unique_lock<std::mutex> lock(file.lock);
  ArrivalHash& h = file.arrival;
  const auto next_part_done = [&] {
    return h.hashed < file.size && file.done_offsets.count(static_cast<std::uint32_t>(h.hashed)) != 0;
  };
  if (h.busy || h.complete || h.spoiled || file.part_size == 0 || !next_part_done()) return;
  if (h.hashed == 0) {
    if (!h.hash.begin()) return;
    h.begun = true;
  }
  if (!h.begun) return;  // an earlier read failed: verification reads the file
  h.busy = true;
  lock.unlock();

  // Runs inside a download worker, which must not throw: without a buffer the file is read at
  // verification as before.
  const std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kReadBackBuffer]);
  lock.lock();
  bool ok = buffer != nullptr;
  while (ok && next_part_done()) {
    const std::uint64_t start = h.hashed;
    const std::uint64_t end = std::min<std::uint64_t>(start + file.part_size, file.size);
    lock.unlock();
    ok = read_into_hash(file.handle, start, end, h.hash, buffer.get());
    lock.lock();
    if (ok) h.hashed = end;
  }
  if (!ok) {
    h.begun = false;
  } else if (h.hashed == file.size) {
    h.complete = h.hash.finish(h.digest);
    h.begun = false;
  }
  h.busy = false;
}

std::optional<os::Sha256Digest> arrival_digest(const DownloadFile& file) {
  const ArrivalHash& h = file.arrival;
  if (file.packed || !h.complete || h.spoiled || h.hashed != file.size) return std::nullopt;
  return h.digest;
}

}  // namespace corvane
