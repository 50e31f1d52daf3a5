#include "update/verification.h"

#include <memory>

#include "os/file.h"
#include "os/fs.h"
#include "os/mapped_file.h"
#include "os/sha256.h"
#include "update/lzms_frame.h"
#include "update/replacement.h"

namespace corvane {
namespace {

constexpr std::size_t kHashBufferSize = 1048576;

std::string to_hex(const os::Sha256Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(digest.size() * 2);
  for (const std::uint8_t b : digest) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0x0F]);
  }
  return text;
}

}  // namespace

bool sha256_file(std::wstring_view path, std::string& out) {
  out.clear();
  os::File file;
  // Never through a link, never a pipe or device: such a read could wait or go on forever.
  if (file.open(path, os::OpenMode::ReadExisting, os::OpenTarget::RegularFile) != os::kErrorSuccess) return false;
  os::Sha256 hash;
  if (!hash.begin()) return false;
  const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kHashBufferSize);
  for (;;) {
    std::size_t read = 0;
    if (file.read(buffer.get(), kHashBufferSize, read) != os::kErrorSuccess) return false;
    if (read == 0) break;
    if (!hash.update(buffer.get(), read)) return false;
  }
  os::Sha256Digest digest;
  if (!hash.finish(digest)) return false;
  out = to_hex(digest);
  return true;
}

bool has_file_size(std::wstring_view path, std::uint32_t size) {
  const auto info = os::file_info(path);
  return info && info->is_regular && info->size == size;
}

bool is_file_current(std::wstring_view client_dir, const ManifestFile& entry) {
  const std::wstring target = target_path_for(client_dir, entry.path);
  if (!has_file_size(target, entry.size)) return false;
  std::string digest;
  return sha256_file(target, digest) && digest == entry.sha256;
}

bool unpack_lzms(std::wstring_view packed_path, std::uint32_t packed_size, std::wstring_view output_path,
                 std::uint32_t output_size) {
  os::MappedFile input;
  if (input.open_read(packed_path) != os::kErrorSuccess) return false;
  if (input.size() != packed_size) return false;
  const std::span<const std::uint8_t> frame(input.data(), input.size());
  LzmsFrameLayout layout;
  if (!check_lzms_frame(frame, output_size, layout)) return false;
  os::MappedFile output;
  if (output.create(output_path, output_size) != os::kErrorSuccess) return false;
  return decode_lzms_frame(frame, std::span<std::uint8_t>(output.data(), output.size()));
}

bool verify_download(const DownloadFile& file, const ManifestFile& entry) {
  if (file.packed && !unpack_lzms(file.data_path, file.size, file.raw_path, entry.size)) return false;
  std::string digest;
  return sha256_file(file.raw_path, digest) && digest == entry.sha256;
}

void discard_download(const DownloadFile& file) {
  (void)os::delete_file(file.data_path);
  (void)os::delete_file(file.raw_path);
  (void)os::delete_file(file.parts_path);
}

}  // namespace corvane
