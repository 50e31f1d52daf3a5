#include "update/delta_update.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "base/hex_text.h"
#include "base/paths.h"
#include "net/download_pool.h"
#include "net/file_table.h"
#include "net/http_client.h"
#include "os/file.h"
#include "os/fs.h"
#include "os/sha256.h"
#include "os/text.h"
#include "update/chunk_index.h"
#include "update/chunker.h"
#include "update/delta_plan.h"
#include "update/replacement.h"
#include "update/update_progress.h"
#include "update/verification.h"

namespace corvane {
namespace {

constexpr std::size_t kCopyBuffer = 1u << 20;

struct RangeState {
  FetchRange range;
  bool done = false;  // guarded by the file's lock
};

// One file on the delta path. Its ranges are fixed before the pool starts.
struct DeltaFile {
  const ManifestFile* entry = nullptr;
  std::size_t slot = 0;  // the entry's place in the caller's list
  ChunkIndex index;
  os::Sha256Digest index_digest{};
  std::wstring path;
  std::wstring record_path;
  os::File handle;
  os::File record;
  std::map<std::uint64_t, RangeState> ranges;  // by offset
  std::atomic<std::uint32_t> ranges_done{0};
  std::atomic<bool> lied{false};  // a fetched chunk did not verify
  std::mutex lock;                // guards `pending` and every RangeState::done
  std::vector<std::uint32_t> pending;  // fetched chunks not recorded yet
};

// The delta downloads' table: the pool knows it as a FileTable, the writer as what it is.
struct DeltaTable : FileTable {
  std::unordered_map<std::string, std::unique_ptr<DeltaFile>> deltas;  // manifest path -> file
};

bool digest_of(const void* data, std::size_t size, os::Sha256Digest& digest) {
  os::Sha256 hash;
  return hash.begin() && hash.update(data, size) && hash.finish(digest);
}

// The chunk's bytes in the file being built have its SHA-256.
bool chunk_is_there(os::File& file, const Chunk& chunk, std::vector<std::uint8_t>& buffer) {
  buffer.resize(chunk.length);
  std::size_t have = 0;
  while (have < chunk.length) {
    std::size_t got = 0;
    if (file.read_at(chunk.offset + have, buffer.data() + have, chunk.length - have, got) != os::kErrorSuccess ||
        got == 0) {
      return false;
    }
    have += got;
  }
  os::Sha256Digest digest{};
  return chunk_hash(buffer.data(), buffer.size(), digest) && digest == chunk.sha256;
}

// Appends the fetched chunks handed over so far to the resume record, after their bytes are
// flushed: a power cut never leaves a record of bytes that did not reach the disk. A failure
// records nothing; those chunks are fetched again by a later run.
void record_fetched(DeltaFile& file) {
  std::vector<std::uint32_t> chunks;
  {
    const std::lock_guard<std::mutex> guard(file.lock);
    chunks.swap(file.pending);
  }
  if (chunks.empty() || !file.record.is_open() || file.handle.sync_data() != os::kErrorSuccess) return;
  std::string bytes;
  for (const std::uint32_t n : chunks) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
  }
  if (file.record.write(bytes.data(), bytes.size()) == os::kErrorSuccess) (void)file.record.sync();
}

// The pool's writer for delta ranges: one positioned write within the range; at the range's last
// byte its chunks are read back and checked, and a chunk that lies spoils the file's delta (the
// server is not trusted with it any further).
bool write_delta_part(FileTable& base, const DownloadPart& part, std::uint64_t file_offset, const std::uint8_t* data,
                      std::size_t size) {
  auto& table = static_cast<DeltaTable&>(base);
  const auto found = table.deltas.find(part.file_key);
  if (found == table.deltas.end()) return false;
  DeltaFile& file = *found->second;
  if (file.lied.load()) return false;
  const std::uint64_t end = std::uint64_t{part.offset} + part.length;
  if (part.length == 0 || file_offset < part.offset || file_offset > end || size > end - file_offset) return false;
  if (file.handle.write_at(file_offset, data, size) != os::kErrorSuccess) return false;
  if (file_offset + size != end) return true;
  const auto range = file.ranges.find(part.offset);
  if (range == file.ranges.end()) return false;
  std::vector<std::uint8_t> buffer;
  const FetchRange& fetched = range->second.range;
  for (std::size_t i = fetched.first_chunk; i < fetched.first_chunk + fetched.chunk_count; ++i) {
    if (!chunk_is_there(file.handle, file.index.chunks[i], buffer)) {
      file.lied = true;
      return false;
    }
  }
  bool first = false;
  {
    const std::lock_guard<std::mutex> guard(file.lock);
    if (!range->second.done) {
      range->second.done = true;
      first = true;
      for (std::size_t i = fetched.first_chunk; i < fetched.first_chunk + fetched.chunk_count; ++i) {
        file.pending.push_back(static_cast<std::uint32_t>(i));
      }
    }
  }
  if (first && file.ranges_done.fetch_add(1) + 1 == file.ranges.size()) table.files_done.fetch_add(1);
  return true;
}

struct PoolProgress {
  DeltaTable* table;
  ProgressState state;
};

// Every report also makes the chunks fetched meanwhile durable and records them.
void delta_progress(void* context) {
  auto& progress = *static_cast<PoolProgress*>(context);
  for (auto& [path, file] : progress.table->deltas) record_fetched(*file);
  report_progress(&progress.state);
}

void fall_back(const ManifestFile& entry, const char* why) {
  std::printf("[!] Obnovlenie: chastichnaya zagruzka %s ne udalas (%s), skachivaem fayl tselikom.\n",
              entry.path.c_str(), why);
}

void discard_delta(DeltaFile& file) {
  file.handle.close();
  file.record.close();
  (void)os::delete_file(file.path);
  (void)os::delete_file(file.record_path);
}

// The fetched chunks an earlier run recorded for this index whose bytes are still sound.
std::vector<bool> resumed_chunks(DeltaFile& file) {
  std::vector<bool> done(file.index.chunks.size(), false);
  std::string record;
  std::uint64_t size = 0;
  if (!os::read_file(file.record_path, record) || record.size() < 32 ||
      record.compare(0, 32, reinterpret_cast<const char*>(file.index_digest.data()), 32) != 0 ||
      !file.handle.size(size) || size != file.entry->size) {
    return done;
  }
  std::vector<std::uint8_t> buffer;
  for (std::size_t at = 32; at + 4 <= record.size(); at += 4) {
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(record[at + i]);
    if (n < done.size() && !done[n]) done[n] = chunk_is_there(file.handle, file.index.chunks[n], buffer);
  }
  return done;
}

// Opens the file being built and its record: kept from an earlier run of this index, or started
// afresh at the file's length with its blocks reserved.
bool open_target(DeltaFile& file, std::vector<bool>& done) {
  if (file.handle.open(file.path, os::OpenMode::ReadWriteAlways, os::OpenTarget::RegularFile) != os::kErrorSuccess) {
    return false;
  }
  done = resumed_chunks(file);
  if (std::find(done.begin(), done.end(), true) == done.end()) {
    const std::string header(reinterpret_cast<const char*>(file.index_digest.data()), 32);
    if (file.handle.set_size(0) != os::kErrorSuccess || file.handle.set_size(file.entry->size) != os::kErrorSuccess ||
        file.handle.reserve(file.entry->size) != os::kErrorSuccess ||
        os::write_file(file.record_path, header) != os::kErrorSuccess) {
      return false;
    }
  }
  return file.record.open(file.record_path, os::OpenMode::AppendAlways, os::OpenTarget::RegularFile) ==
         os::kErrorSuccess;
}

bool copy_range(os::File& from, const ChunkCopy& copy, os::File& to, std::vector<std::uint8_t>& buffer) {
  buffer.resize(kCopyBuffer);
  std::uint64_t done = 0;
  while (done < copy.length) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBuffer, copy.length - done));
    std::size_t got = 0;
    if (from.read_at(copy.from + done, buffer.data(), want, got) != os::kErrorSuccess || got == 0) return false;
    if (to.write_at(copy.to + done, buffer.data(), got) != os::kErrorSuccess) return false;
    done += got;
  }
  return true;
}

// Fetches and checks the index, chunks the local copies, opens the target, copies the local
// chunks and returns the ranges still to fetch. Null and a line on any failure.
const char* prepare(const UrlParts& url, std::wstring_view install_dir, std::wstring_view staging_dir,
                    DeltaFile& file, DeltaPlan& plan, std::uint64_t& index_bytes) {
  const ManifestFile& entry = *file.entry;
  if (entry.chunks_size > kMaxChunkIndexSize) return "indeks slishkom velik";
  std::string body;
  std::uint32_t status = 0;
  const bool got = http_get_to_memory(url, chunk_index_url_path(entry), entry.chunks_size, body, &status);
  index_bytes += body.size();
  if (!got) return "indeks nedostupen";
  if (body.size() != entry.chunks_size || !digest_of(body.data(), body.size(), file.index_digest) ||
      hex_of(file.index_digest) != entry.chunks_sha256 || !read_chunk_index(body, entry.size, file.index)) {
    return "indeks povrezhden";
  }
  body = std::string();
  // A server that ignores ranges would send the whole file for every one of them.
  if (!probe_range_support(url, plain_file_url_path(entry))) return "server ne otdaet chasti fayla";

  const std::wstring stem = join_path(staging_dir, os::from_utf8(entry.sha256));
  std::vector<std::wstring> source_paths;
  for (const std::wstring& candidate : {target_path_for(install_dir, entry.path), stem + L".raw"}) {
    const auto info = os::file_info(candidate);
    if (info && info->is_regular && !info->is_link) source_paths.push_back(candidate);
  }
  std::vector<std::vector<Chunk>> sources(source_paths.size());
  for (std::size_t s = 0; s < source_paths.size(); ++s) {
    if (chunk_file(source_paths[s], file.index.params, sources[s]) != os::kErrorSuccess) sources[s].clear();
  }

  file.path = stem + std::wstring(kDeltaSuffix);
  file.record_path = stem + std::wstring(kDeltaRecordSuffix);
  std::vector<bool> done;
  if (!open_target(file, done)) return "oshibka zapisi";
  plan = plan_delta(file.index, sources, done, kMaxDeltaRange);

  std::vector<std::uint8_t> buffer;
  std::vector<os::File> opened(source_paths.size());
  for (const ChunkCopy& copy : plan.copies) {
    os::File& from = opened[copy.source];
    if (!from.is_open() && from.open(source_paths[copy.source], os::OpenMode::ReadExisting) != os::kErrorSuccess) {
      return "lokalnyy fayl nedostupen";
    }
    if (!copy_range(from, copy, file.handle, buffer)) return "oshibka zapisi";
  }
  for (const FetchRange& range : plan.fetches) file.ranges.emplace(range.offset, RangeState{range, false});
  return nullptr;
}

// After the pool: every range arrived and verified, and the whole file has its SHA-256.
const char* finish(DeltaFile& file) {
  record_fetched(file);
  if (file.lied.load()) return "chast fayla ne sovpala";
  if (file.ranges_done.load() != file.ranges.size()) return "server ne otdal chasti fayla";
  file.handle.close();
  file.record.close();
  std::string sha;
  if (!sha256_file(file.path, sha) || sha != file.entry->sha256) return "fayl ne sovpal";
  return nullptr;
}

}  // namespace

bool is_delta_candidate(std::wstring_view install_dir, std::wstring_view staging_dir, const ManifestFile& entry) {
  if (entry.chunks_size == 0 || entry.size == 0) return false;
  for (const std::wstring& path : {target_path_for(install_dir, entry.path),
                                   join_path(staging_dir, os::from_utf8(entry.sha256)) + L".raw"}) {
    const auto info = os::file_info(path);
    if (info && info->is_regular && !info->is_link) return true;
  }
  return false;
}

void run_deltas(const UrlParts& url, std::wstring_view install_dir, std::wstring_view staging_dir,
                const std::vector<ManifestFile>& entries, unsigned workers, const DeltaProgress& progress,
                DeltaOutcome& outcome) {
  outcome = DeltaOutcome{};
  outcome.staged.resize(entries.size());
  DeltaTable table;
  DownloadPool pool;
  std::uint64_t index_bytes = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    auto file = std::make_unique<DeltaFile>();
    file->entry = &entries[i];
    file->slot = i;
    DeltaPlan plan;
    if (const char* why = prepare(url, install_dir, staging_dir, *file, plan, index_bytes)) {
      fall_back(entries[i], why);
      discard_delta(*file);
      continue;
    }
    for (const FetchRange& range : plan.fetches) {
      pool.parts.push_back(DownloadPart{entries[i].path, plain_file_url_path(entries[i]), entries[i].size,
                                        static_cast<std::uint32_t>(range.offset),
                                        static_cast<std::uint32_t>(range.length)});
    }
    table.bytes_total += plan.fetch_bytes;
    if (plan.fetches.empty()) table.files_done.fetch_add(1);
    table.deltas.emplace(entries[i].path, std::move(file));
  }
  std::stable_sort(pool.parts.begin(), pool.parts.end(),
                   [](const DownloadPart& a, const DownloadPart& b) { return a.length > b.length; });

  if (!pool.parts.empty()) {
    PoolProgress report{&table,
                        ProgressState{&pool, &table, index_bytes + table.bytes_total + progress.other_bytes,
                                      progress.files_total, progress.callback}};
    report.state.bytes_base = index_bytes;
    pool.cancel = progress.callback.cancel;
    run_download_pool(url, pool, workers, table, &write_delta_part, &delta_progress, &report);
    if (progress.callback.fn == nullptr) std::printf("\n");
  }
  outcome.bytes_fetched = index_bytes + pool.bytes_done.load();
  // A cancelled run builds nothing: the chunks fetched so far stay recorded for the next run.
  if (pool.cancel != nullptr && pool.cancel->load()) return;

  for (auto& [path, file] : table.deltas) {
    if (const char* why = finish(*file)) {
      fall_back(*file->entry, why);
      discard_delta(*file);
      continue;
    }
    outcome.staged[file->slot] = file->path;
    outcome.bytes_replaced += file->entry->packed_size != 0 ? file->entry->packed_size : file->entry->size;
    ++outcome.built;
  }
}

}  // namespace corvane
