#include "net/resume.h"

#include <array>

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
  os::File file;
  if (file.open(path, os::OpenMode::ReadExisting, os::OpenTarget::RegularFile) != os::kErrorSuccess) return {};
  std::uint64_t size = 0;
  if (!file.size(size) || size == 0 || size % 4 != 0 || size >= kRecordLimit) return {};
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    std::size_t got = 0;
    if (file.read(bytes.data() + filled, bytes.size() - filled, got) != os::kErrorSuccess || got == 0) {
      return {};
    }
    filled += got;
  }
  std::vector<std::uint32_t> values(bytes.size() / 4);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = decode_u32(bytes.data() + 4 * i);
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
  }
  return file.handle.reserve(file.size);
}

bool mark_part_done(FileTable& table, DownloadFile& file, std::uint32_t offset) {
  {
    std::lock_guard<std::mutex> guard(file.lock);
    if (file.done_offsets.count(offset) != 0) return true;
  }
  if (file.handle.sync_data() != os::kErrorSuccess) return false;
  std::lock_guard<std::mutex> guard(file.lock);
  if (!file.done_offsets.insert(offset).second) return true;
  os::File record;
  if (record.open(file.parts_path, os::OpenMode::AppendAlways, os::OpenTarget::RegularFile) == os::kErrorSuccess) {
    const auto bytes = encode_u32(offset);
    if (record.write(bytes.data(), bytes.size()) == os::kErrorSuccess) (void)record.sync_data();
  }
  if (file.done_offsets.size() == file.part_count) table.files_done.fetch_add(1);
  return true;
}

}  // namespace corvane
