#include "os/lzms_buffer.h"

#include <windows.h>
#include <compressapi.h>

namespace corvane::os {
namespace {

// The three functions of the Compression API that unpacking needs, looked up by their documented
// names once per process. The library stays loaded for the life of the process. A system without
// them (Wine has no Compression API) leaves every pointer null; nothing of Cabinet.dll is linked,
// because a linked import that the system lacks aborts the program when it is called.
struct CompressionApi {
  decltype(&::CreateDecompressor) create = nullptr;
  decltype(&::Decompress) decompress = nullptr;
  decltype(&::CloseDecompressor) close = nullptr;

  bool complete() const { return create != nullptr && decompress != nullptr && close != nullptr; }
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
  api.create = lookup<decltype(api.create)>(cabinet, "CreateDecompressor");
  api.decompress = lookup<decltype(api.decompress)>(cabinet, "Decompress");
  api.close = lookup<decltype(api.close)>(cabinet, "CloseDecompressor");
  if (!api.complete()) {
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
    if (!api_.create(COMPRESS_ALGORITHM_LZMS, nullptr, &handle_)) handle_ = nullptr;
  }
  ~Decompressor() {
    if (handle_ != nullptr) api_.close(handle_);
  }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
  DECOMPRESSOR_HANDLE get() const { return handle_; }

 private:
  const CompressionApi& api_;
  DECOMPRESSOR_HANDLE handle_ = nullptr;
};

}  // namespace

bool lzms_buffer_decoder_available() { return api().complete(); }

bool decompress_lzms_buffer(const void* packed, std::size_t packed_size, void* out, std::size_t out_size) {
  const CompressionApi& functions = api();
  if (!functions.complete()) return false;
  // Without COMPRESS_RAW the decompressor works in buffer mode: it reads the header and the chunk
  // sizes itself.
  const Decompressor decompressor(functions);
  if (decompressor.get() == nullptr) return false;
  SIZE_T produced = 0;
  const BOOL ok = functions.decompress(decompressor.get(), const_cast<void*>(packed), packed_size, out, out_size,
                                       &produced);
  return ok && produced == out_size;
}

}  // namespace corvane::os
