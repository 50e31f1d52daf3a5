#pragma once
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "os/fs.h"

// Test helpers shared by every test binary.
namespace corvane::test {

// A fresh folder below the temporary folder, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::wstring& path() const { return path_; }
  // path() + separator + relative ('/' in `relative` works on every platform).
  std::wstring operator/(std::wstring_view relative) const;
  std::string utf8() const;

 private:
  std::wstring path_;
};

// Sets (or unsets, with nullopt) an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Installs a file-system fault hook for the life of the object.
class ScopedFsFault {
 public:
  explicit ScopedFsFault(os::FsFaultHook hook) { os::set_fs_fault_hook(std::move(hook)); }
  ~ScopedFsFault() { os::set_fs_fault_hook(nullptr); }
  ScopedFsFault(const ScopedFsFault&) = delete;
  ScopedFsFault& operator=(const ScopedFsFault&) = delete;
};

// A file of the build tree, named by the path CMake gave it at configure time. The Windows test
// programs are cross-built on Linux and run under Wine, where the host's "/" is the drive Z:.
std::wstring build_tree_path(std::string_view configured_path);

// Whole-file helpers that fail the current test on error.
void write_text(std::wstring_view path, std::string_view bytes);
std::string read_text(std::wstring_view path);
// Removes a file or a whole tree; no error when nothing is there.
void remove_all(std::wstring_view path);
// Creates the folder and its parents.
void make_dirs(std::wstring_view path);

}  // namespace corvane::test
