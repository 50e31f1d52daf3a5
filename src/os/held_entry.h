#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "os/error.h"
#include "os/fs.h"

// Removing a tree without ever following a link into another one: each file system object is
// opened once by its name and then held, everything done to it goes through what is held, and
// what a folder holds is reached relative to the held folder, never by a path again. A link
// (symbolic link, junction, any reparse point) at a name is opened as the link itself. So a
// folder that someone replaces by a link, or by another folder, while the removal runs is never
// entered: the removal goes on in the folder it opened.
namespace corvane::os {

class HeldEntry {
 public:
  HeldEntry() = default;
  ~HeldEntry();
  HeldEntry(HeldEntry&& other) noexcept;
  HeldEntry& operator=(HeldEntry&& other) noexcept;
  HeldEntry(const HeldEntry&) = delete;
  HeldEntry& operator=(const HeldEntry&) = delete;

  // Opens the object at `path` itself (its folders above are followed as usual). kErrorFileNotFound
  // or kErrorPathNotFound when nothing is there.
  [[nodiscard]] ErrorCode open(std::wstring_view path);
  // Opens the entry `name` (one name, no separator) of this folder in the same way.
  [[nodiscard]] ErrorCode open_child(std::wstring_view name, HeldEntry& child) const;

  // What the object is, read from what is held (is_mount_point: Linux only, as in FileInfo).
  const FileInfo& info() const { return info_; }
  // Where it was opened: the path given to open(), or the folder's path + separator + name. For
  // messages and the fault hook only; never opened again.
  const std::wstring& path() const { return path_; }

  // The entries of this folder, read through the held folder. A folder closed to its owner is
  // opened to the owner first (Linux; Windows folders have no such bar). False when it cannot be
  // read.
  [[nodiscard]] bool list(std::vector<DirEntry>& entries) const;

  // Deletes the held object: a file or a link as itself (never what it leads to), a folder once it
  // is empty. A read-only, hidden or system attribute is cleared first (Windows). Closes it. Asks
  // the fault hook first (FsOp::RemoveDirectory for a folder or a link to one, FsOp::Delete
  // otherwise, with path()).
  [[nodiscard]] ErrorCode remove();

  bool is_open() const;
  void close();

 private:
  std::wstring path_;
  FileInfo info_;
  // Linux: the held object (O_PATH, not following a link) and its folder, in which it is removed
  // by name once the name is checked to still be this object. Windows: the held handle.
  std::intptr_t handle_ = -1;
  std::intptr_t parent_ = -1;
  std::string name_;
};

}  // namespace corvane::os
