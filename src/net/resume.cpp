#include "net/resume.h"

#include <algorithm>
#include <array>
#include <string>

#include "os/fs.h"

namespace corvane {
namespace {

constexpr std::uint64_t kRecordLimit = 1048576;  // a resume record is shorter than this

std::array<std::uint8_t, 4> encode_u32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

std::uint32_t decode_u32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

// An offset at which one of the file's parts starts.
bool is_part_offset(const DownloadFile& file, std::uint32_t offset) {
  if (file.part_size == 0) return offset == 0;
  return offset % file.part_size == 0 && offset < file.size;
}

// The record's offsets, when it was made for this file's part size and names only its parts.
bool take_over_record(DownloadFile& file, const std::vector<std::uint32_t>& record) {
  if (record.empty() || record.front() != file.part_size) return false;
  for (std::size_t i = 1; i < record.size(); ++i) {
    if (!is_part_offset(file, record[i])) return false;
  }
  file.done_offsets.clear();
  file.done_offsets.insert(record.begin() + 1, record.end());
  return true;
}

}  // namespace

std::vector<std::uint32_t> read_parts_file(std::wstring_view path) {
  std::string bytes;
  if (os::read_plain_file(path, kRecordLimit - 1, bytes) != os::kErrorSuccess) return {};
  // A power cut during an append can leave its last integer torn: what is whole still counts.
  std::vector<std::uint32_t> values(bytes.size() / 4);
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = decode_u32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 4 * i);
  }
  return values;
}

os::ErrorCode create_parts_file(const DownloadFile& file) {
  os::File out;
  if (const os::ErrorCode e =
          out.open(file.parts_path, os::OpenMode::WriteTruncate, os::OpenTarget::RegularFile)) {
    return e;
  }
  const auto bytes = encode_u32(file.part_size);
  return out.write(bytes.data(), bytes.size());
}

os::ErrorCode open_download_file(DownloadFile& file) {
  const std::vector<std::uint32_t> record = read_parts_file(file.parts_path);
  file.done_offsets.clear();
  // Staging files are never written through a link (prune_staging removes links beforehand).
  if (const os::ErrorCode e =
          file.handle.open(file.data_path, os::OpenMode::ReadWriteAlways, os::OpenTarget::RegularFile)) {
    return e;
  }

  std::uint64_t length = 0;
  const bool resumable = file.handle.size(length) && length == file.size;
  if (!resumable || !take_over_record(file, record)) {
    if (const os::ErrorCode e = file.handle.set_size(file.size)) return e;
    if (const os::ErrorCode e = create_parts_file(file)) return e;
  } else if (const auto info = os::file_info(file.parts_path); info && info->size != 4 * record.size()) {
    // A torn last integer is cut off before anything is appended after it; a record that cannot
    // be cut starts afresh.
    os::File torn;
    os::ErrorCode e = torn.open(file.parts_path, os::OpenMode::ReadWriteAlways, os::OpenTarget::RegularFile);
    if (e == os::kErrorSuccess) e = torn.set_size(4 * record.size());
    if (e == os::kErrorSuccess) e = torn.sync_data();
    if (e != os::kErrorSuccess) {
      file.done_offsets.clear();
      if (const os::ErrorCode made = create_parts_file(file)) return made;
    }
  }
  return file.handle.reserve(file.size);
}

void record_parts(DownloadFile& file, const std::vector<std::uint32_t>& offsets) {
  if (offsets.empty() || file.handle.sync_data() != os::kErrorSuccess) return;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(offsets.size() * 4);
  for (const std::uint32_t offset : offsets) {
    const auto encoded = encode_u32(offset);
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
  }
  std::lock_guard<std::mutex> guard(file.lock);  // one writer of the record at a time
  os::File record;
  if (record.open(file.parts_path, os::OpenMode::AppendAlways, os::OpenTarget::RegularFile) == os::kErrorSuccess &&
      record.write(bytes.data(), bytes.size()) == os::kErrorSuccess) {
    (void)record.sync_data();
  }
}

void mark_part_done(FileTable& table, DownloadFile& file, std::uint32_t offset) {
  {
    std::lock_guard<std::mutex> guard(file.lock);
    if (!file.done_offsets.insert(offset).second) return;
    if (file.done_offsets.size() == file.part_count) table.files_done.fetch_add(1);
  }
  {
    std::lock_guard<std::mutex> guard(table.records.lock);
    if (table.records.running) {
      table.records.parts.emplace_back(&file, offset);
      table.records.ready.notify_one();
      return;
    }
  }
  record_parts(file, {offset});
}

void record_finished_parts(FileTable& table) {
  PendingRecords& pending = table.records;
  try {
    for (;;) {
      std::vector<std::pair<DownloadFile*, std::uint32_t>> taken;
      {
        std::unique_lock<std::mutex> lock(pending.lock);
        pending.ready.wait(lock, [&] { return !pending.parts.empty() || pending.stop; });
        if (pending.parts.empty()) return;
        taken.swap(pending.parts);
      }
      // One flush per file for all of its parts that finished since the last round.
      std::vector<std::pair<DownloadFile*, std::vector<std::uint32_t>>> by_file;
      for (const auto& [file, offset] : taken) {
        // A copy: clang 14 cannot capture a structured binding.
        auto it = std::find_if(by_file.begin(), by_file.end(),
                               [&, file = file](const auto& f) { return f.first == file; });
        if (it == by_file.end()) it = by_file.insert(by_file.end(), {file, {}});
        it->second.push_back(offset);
      }
      for (const auto& [file, offsets] : by_file) record_parts(*file, offsets);
    }
  } catch (...) {
    // Out of memory: the parts stay complete for this run and are fetched again by a later one.
    const std::lock_guard<std::mutex> lock(pending.lock);
    pending.parts.clear();
  }
}

}  // namespace corvane
