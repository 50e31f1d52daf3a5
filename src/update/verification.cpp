#include "update/verification.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <system_error>
#include <thread>

#include "base/hex_text.h"
#include "net/arrival_hash.h"
#include "os/file.h"
#include "os/fs.h"
#include "os/mapped_file.h"
#include "os/sha256.h"
#include "update/lzms_frame.h"
#include "update/replacement.h"

namespace corvane {
namespace {

// Small enough to stay in a core's own cache between the copy out of the page cache and the hash:
// reading a cached file in 1 MiB pieces costs about three times the system time of 64 KiB pieces.
constexpr std::size_t kHashBufferSize = 65536;

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
  out = hex_of(digest);
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
                 std::uint32_t output_size, os::ErrorCode* write_error) {
  if (write_error != nullptr) *write_error = os::kErrorSuccess;
  os::MappedFile input;
  if (input.open_read(packed_path) != os::kErrorSuccess) return false;
  if (input.size() != packed_size) return false;
  const std::span<const std::uint8_t> frame(input.data(), input.size());
  LzmsFrameLayout layout;
  if (!check_lzms_frame(frame, output_size, layout)) return false;
  os::MappedFile output;
  if (const os::ErrorCode e = output.create(output_path, output_size)) {
    if (write_error != nullptr) *write_error = e;
    return false;
  }
  return decode_lzms_frame(frame, std::span<std::uint8_t>(output.data(), output.size()));
}

std::vector<std::uint8_t> check_files_current(std::wstring_view client_dir, const std::vector<ManifestFile>& files,
                                              unsigned threads) {
  std::vector<std::uint8_t> current(files.size(), 0);
  // Largest first, so that no big file is left for one thread at the end.
  std::vector<std::size_t> order(files.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return files[a].size > files[b].size; });

  std::atomic<std::size_t> next{0};
  std::mutex failure_lock;
  std::exception_ptr failure;
  const auto check = [&]() noexcept {
    try {
      for (std::size_t i = next.fetch_add(1); i < order.size(); i = next.fetch_add(1)) {
        current[order[i]] = is_file_current(client_dir, files[order[i]]) ? 1 : 0;
      }
    } catch (...) {
      // Out of memory on this thread: the others stop too, and the caller hears of it.
      next = order.size();
      const std::lock_guard<std::mutex> guard(failure_lock);
      if (!failure) failure = std::current_exception();
    }
  };

  const unsigned helpers = static_cast<unsigned>(
      std::min<std::size_t>(std::max(threads, 1u) - 1, files.size() > 0 ? files.size() - 1 : 0));
  std::vector<std::thread> pool;
  pool.reserve(helpers);
  for (unsigned i = 0; i < helpers; ++i) {
    try {
      pool.emplace_back(check);
    } catch (const std::system_error&) {
      break;  // fewer threads: the ones there are share the work
    } catch (...) {
      // Memory ran out while a thread was being started: the others stop, are joined below, and
      // the caller hears of it.
      next = order.size();
      const std::lock_guard<std::mutex> guard(failure_lock);
      if (!failure) failure = std::current_exception();
      break;
    }
  }
  check();
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
  return current;
}

bool verify_download(const DownloadFile& file, const ManifestFile& entry, os::ErrorCode* write_error) {
  if (write_error != nullptr) *write_error = os::kErrorSuccess;
  if (file.packed) {
    if (!unpack_lzms(file.data_path, file.size, file.raw_path, entry.size, write_error)) return false;
  } else if (const std::optional<os::Sha256Digest> arrived = arrival_digest(file)) {
    // Hashed while it was written; reading it back would hash the same bytes again.
    return hex_of(*arrived) == entry.sha256;
  }
  std::string digest;
  return sha256_file(file.raw_path, digest) && digest == entry.sha256;
}

void discard_download(const DownloadFile& file) {
  (void)os::delete_file(file.data_path);
  (void)os::delete_file(file.raw_path);
  (void)os::delete_file(file.parts_path);
}

}  // namespace corvane
