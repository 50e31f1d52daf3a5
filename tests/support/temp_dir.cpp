#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <unistd.h>

#include "os/text.h"

namespace corvane::test {
namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const fs::path base = fs::path(os::to_utf8(os::temp_dir()));
  for (;;) {
    const fs::path candidate =
        base / ("corvane-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = os::from_utf8(candidate.string());
      return;
    }
  }
}

TempDir::~TempDir() { remove_all(path_); }

std::wstring TempDir::operator/(std::wstring_view relative) const {
  std::wstring out = path_ + L"/";
  out += relative;
  return out;
}

std::string TempDir::utf8() const { return os::to_utf8(path_); }

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    ::setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
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
  const fs::path p(os::to_utf8(path));
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
  fs::create_directories(fs::path(os::to_utf8(path)), ec);
  ASSERT_FALSE(ec) << ec.message();
}

}  // namespace corvane::test
