#include "os/lzms_buffer.h"

#include <windows.h>
#include <compressapi.h>

namespace corvane::os {
namespace {

// The functions of the Compression API that packing and unpacking need, looked up by their
// documented names once per process. The library stays loaded for the life of the process. A
// system without them (Wine has no Compression API) leaves the pointers of its half null; nothing of
// Cabinet.dll is linked, because a linked import that the system lacks aborts the program when it
// is called.
struct CompressionApi {
  decltype(&::CreateDecompressor) create_decompressor = nullptr;
  decltype(&::Decompress) decompress = nullptr;
  decltype(&::CloseDecompressor) close_decompressor = nullptr;
  decltype(&::CreateCompressor) create_compressor = nullptr;
  decltype(&::SetCompressorInformation) set_compressor_information = nullptr;
  decltype(&::Compress) compress = nullptr;
  decltype(&::CloseCompressor) close_compressor = nullptr;

  bool can_decompress() const {
    return create_decompressor != nullptr && decompress != nullptr && close_decompressor != nullptr;
  }
  bool can_compress() const {
    return create_compressor != nullptr && set_compressor_information != nullptr && compress != nullptr &&
           close_compressor != nullptr;
  }
};

template <typename Function>
Function lookup(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

CompressionApi load_api() {
  CompressionApi api;
  // Only the system folder is searched: a Cabinet.dll beside the program is never loaded.
  const HMODULE cabinet = LoadLibraryExW(L"cabinet.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (cabinet == nullptr) return api;
  api.create_decompressor = lookup<decltype(api.create_decompressor)>(cabinet, "CreateDecompressor");
  api.decompress = lookup<decltype(api.decompress)>(cabinet, "Decompress");
  api.close_decompressor = lookup<decltype(api.close_decompressor)>(cabinet, "CloseDecompressor");
  api.create_compressor = lookup<decltype(api.create_compressor)>(cabinet, "CreateCompressor");
  api.set_compressor_information =
      lookup<decltype(api.set_compressor_information)>(cabinet, "SetCompressorInformation");
  api.compress = lookup<decltype(api.compress)>(cabinet, "Compress");
  api.close_compressor = lookup<decltype(api.close_compressor)>(cabinet, "CloseCompressor");
  if (!api.can_decompress() && !api.can_compress()) {
    FreeLibrary(cabinet);
    return CompressionApi{};
  }
  return api;
}

const CompressionApi& api() {
  static const CompressionApi loaded = load_api();
  return loaded;
}

// Closes the decompressor when it goes.
class Decompressor {
 public:
  explicit Decompressor(const CompressionApi& api) : api_(api) {
    if (!api_.create_decompressor(COMPRESS_ALGORITHM_LZMS, nullptr, &handle_)) handle_ = nullptr;
  }
  ~Decompressor() {
    if (handle_ != nullptr) api_.close_decompressor(handle_);
  }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
  DECOMPRESSOR_HANDLE get() const { return handle_; }

 private:
  const CompressionApi& api_;
  DECOMPRESSOR_HANDLE handle_ = nullptr;
};

// Closes the compressor when it goes.
class Compressor {
 public:
  explicit Compressor(const CompressionApi& api) : api_(api) {
    if (!api_.create_compressor(COMPRESS_ALGORITHM_LZMS, nullptr, &handle_)) handle_ = nullptr;
  }
  ~Compressor() {
    if (handle_ != nullptr) api_.close_compressor(handle_);
  }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
  COMPRESSOR_HANDLE get() const { return handle_; }

 private:
  const CompressionApi& api_;
  COMPRESSOR_HANDLE handle_ = nullptr;
};

}  // namespace

bool lzms_buffer_decoder_available() { return api().can_decompress(); }

bool decompress_lzms_buffer(const void* packed, std::size_t packed_size, void* out, std::size_t out_size) {
  const CompressionApi& functions = api();
  if (!functions.can_decompress()) return false;
  // Without COMPRESS_RAW the decompressor works in buffer mode: it reads the header and the chunk
  // sizes itself.
  const Decompressor decompressor(functions);
  if (decompressor.get() == nullptr) return false;
  SIZE_T produced = 0;
  const BOOL ok = functions.decompress(decompressor.get(), const_cast<void*>(packed), packed_size, out, out_size,
                                       &produced);
  return ok && produced == out_size;
}

bool lzms_buffer_encoder_available() { return api().can_compress(); }

bool compress_lzms_buffer(const void* content, std::size_t size, std::uint32_t block_size,
                          std::vector<std::uint8_t>& packed) {
  packed.clear();
  const CompressionApi& functions = api();
  if (!functions.can_compress() || block_size == 0) return false;
  // Room for every chunk stored raw behind its size, plus the header: enough for anything the
  // compressor keeps. Should it want more, it says how much, and a fresh compressor tries again.
  const std::size_t chunks = size / block_size + 1;
  std::size_t capacity = size + 24 + 4 * chunks + 4096;
  for (int attempt = 0; attempt < 2; ++attempt) {
    // Without COMPRESS_RAW the compressor works in buffer mode: it writes the header and the
    // chunk sizes itself.
    const Compressor compressor(functions);
    if (compressor.get() == nullptr) break;
    DWORD block = block_size;
    if (!functions.set_compressor_information(compressor.get(), COMPRESS_INFORMATION_CLASS_BLOCK_SIZE, &block,
                                              sizeof block)) {
      break;
    }
    packed.resize(capacity);
    SIZE_T written = 0;
    if (functions.compress(compressor.get(), const_cast<void*>(content), size, packed.data(), packed.size(),
                           &written)) {
      packed.resize(written);
      return true;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || written <= capacity) break;
    capacity = written;
  }
  packed.clear();
  return false;
}

}  // namespace corvane::os
