#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "os/error.h"
#include "os/file.h"

// A whole file mapped into memory, with an owner: the view and the file are released when the
// object goes. Used by one thread at a time. Only plain files are mapped, never through a link at
// the path itself (File::open with OpenTarget::RegularFile).
namespace corvane::os {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Maps all of an existing file for reading (shared for reading). An empty file is opened but
  // not mapped: size() is 0 and data() null.
  [[nodiscard]] ErrorCode open_read(std::wstring_view path);
  // Creates or truncates `path`, reserves exactly `size` bytes on the disk (so that a full disk
  // fails here and not on a later write to the view) and maps them for reading and writing.
  // A `size` of 0 leaves an empty file and maps nothing.
  [[nodiscard]] ErrorCode create(std::wstring_view path, std::uint64_t size);
  // Unmaps the view and closes the file; changes made through data() stay in the file.
  void close();

  const std::uint8_t* data() const { return data_; }
  std::uint8_t* data() { return data_; }
  std::size_t size() const { return size_; }

 private:
  [[nodiscard]] ErrorCode map(bool writable);
  File file_;
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace corvane::os
