#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/file.h"
#include "os/text.h"
#include "support/fs_extras.h"

namespace corvane::test {

bool make_link(const std::wstring& link, const std::wstring& target, bool /*directory*/) {
  return ::symlink(os::to_utf8(target).c_str(), os::to_utf8(link).c_str()) == 0;
}

void make_read_only(const std::wstring& path) { ASSERT_EQ(::chmod(os::to_utf8(path).c_str(), 0444), 0); }

void make_sparse_file(const std::wstring& path, std::uint64_t size) {
  // A length set with ftruncate takes no blocks.
  os::File file;
  ASSERT_EQ(file.open(path, os::OpenMode::WriteTruncate), os::kErrorSuccess);
  ASSERT_EQ(file.set_size(size), os::kErrorSuccess);
}

}  // namespace corvane::test
