#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "os/platform.h"
#include "os/text.h"

namespace corvane::test {
namespace fs = std::filesystem;
namespace {

// std::filesystem reads narrow strings in the ANSI code page on Windows: hand it wide text there.
fs::path to_fs_path(std::wstring_view path) {
  if constexpr (os::kIsWindows) {
    return fs::path(std::wstring(path));
  } else {
    return fs::path(os::to_utf8(path));
  }
}

std::wstring from_fs_path(const fs::path& path) {
  if constexpr (os::kIsWindows) {
    return path.wstring();
  } else {
    return os::from_utf8(path.string());
  }
}

void set_env(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  // _putenv_s also updates the process environment that system calls read; "" removes the name.
  (void)::_putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
#endif
}

}  // namespace

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const fs::path base = to_fs_path(os::temp_dir());
  for (;;) {
    const fs::path candidate =
        base / ("corvane-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = from_fs_path(candidate);
      return;
    }
  }
}

TempDir::~TempDir() { remove_all(path_); }

std::wstring TempDir::operator/(std::wstring_view relative) const {
  std::wstring out = path_ + os::kSep;
  for (const wchar_t c : relative) out.push_back(c == L'/' ? os::kSep : c);
  return out;
}

std::string TempDir::utf8() const { return os::to_utf8(path_); }

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  set_env(name_, value);
}

ScopedEnv::~ScopedEnv() { set_env(name_, old_); }

std::wstring build_tree_path(std::string_view configured_path) {
  std::wstring path = os::from_utf8(configured_path);
  if (os::kIsWindows && !path.empty() && path.front() == L'/') {
    for (wchar_t& c : path) {
      if (c == L'/') c = L'\\';
    }
    path.insert(0, L"Z:");
  }
  return path;
}

void write_text(std::wstring_view path, std::string_view bytes) {
  ASSERT_EQ(os::write_file(path, bytes), os::kErrorSuccess) << os::to_utf8(path);
}

std::string read_text(std::wstring_view path) {
  std::string bytes;
  EXPECT_TRUE(os::read_file(path, bytes)) << os::to_utf8(path);
  return bytes;
}

void remove_all(std::wstring_view path) {
  std::error_code ec;
  const fs::path p = to_fs_path(path);
  // Make read-only folders writable first, so that their contents can go.
  for (auto it = fs::recursive_directory_iterator(p, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(p, ec);
}

void make_dirs(std::wstring_view path) {
  std::error_code ec;
  fs::create_directories(to_fs_path(path), ec);
  ASSERT_FALSE(ec) << ec.message();
}

}  // namespace corvane::test
