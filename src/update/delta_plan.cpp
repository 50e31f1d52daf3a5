#include "update/delta_plan.h"

#include <cstring>
#include <unordered_map>

namespace corvane {
namespace {

struct Located {
  std::uint32_t source;
  std::uint64_t offset;
};

// SHA-256 is uniform already: its first eight bytes and the length make the key.
std::uint64_t key_of(const Chunk& chunk) {
  std::uint64_t key = 0;
  std::memcpy(&key, chunk.sha256.data(), sizeof key);
  return key ^ (std::uint64_t{chunk.length} << 40);
}

}  // namespace

DeltaPlan plan_delta(const ChunkIndex& index, const std::vector<std::vector<Chunk>>& sources,
                     const std::vector<bool>& done, std::uint64_t max_range) {
  std::unordered_multimap<std::uint64_t, std::pair<const Chunk*, Located>> local;
  for (std::uint32_t s = 0; s < sources.size(); ++s) {
    for (const Chunk& chunk : sources[s]) local.emplace(key_of(chunk), std::pair{&chunk, Located{s, chunk.offset}});
  }
  const auto find = [&](const Chunk& wanted) -> const Located* {
    const auto [first, last] = local.equal_range(key_of(wanted));
    for (auto it = first; it != last; ++it) {
      const Chunk& have = *it->second.first;
      if (have.length == wanted.length && have.sha256 == wanted.sha256) return &it->second.second;
    }
    return nullptr;
  };

  DeltaPlan plan;
  for (std::size_t i = 0; i < index.chunks.size(); ++i) {
    if (i < done.size() && done[i]) continue;
    const Chunk& chunk = index.chunks[i];
    if (const Located* at = find(chunk)) {
      ChunkCopy* last = plan.copies.empty() ? nullptr : &plan.copies.back();
      if (last != nullptr && last->source == at->source && last->from + last->length == at->offset &&
          last->to + last->length == chunk.offset) {
        last->length += chunk.length;
      } else {
        plan.copies.push_back(ChunkCopy{at->source, at->offset, chunk.offset, chunk.length});
      }
      continue;
    }
    FetchRange* last = plan.fetches.empty() ? nullptr : &plan.fetches.back();
    if (last != nullptr && last->offset + last->length == chunk.offset && last->length + chunk.length <= max_range) {
      last->length += chunk.length;
      ++last->chunk_count;
    } else {
      plan.fetches.push_back(FetchRange{chunk.offset, chunk.length, i, 1});
    }
    plan.fetch_bytes += chunk.length;
  }
  return plan;
}

}  // namespace corvane
