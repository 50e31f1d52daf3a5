#include "update/space_plan.h"

#include <gtest/gtest.h>

#include "base/paths.h"
#include "os/text.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

ManifestFile file(const char* path, char content, std::uint32_t size, std::uint32_t packed_size = 0) {
  return ManifestFile{path, std::string(64, content), size, packed_size};
}

TEST(SpacePlan, CountsDownloadsUnpackedContentsAndCopiesButNotWhatIsStaged) {
  test::TempDir staging;
  const std::vector<ManifestFile> changed = {
      file("a.dll", 'a', 1000),            // downloaded: 1000
      file("b.dll", 'b', 5000, 2000),      // packed: 2000 downloaded and 5000 unpacked
      file("copy_of_a.dll", 'a', 1000),    // equal content: a copy of 1000
      file("again_a.dll", 'a', 1000),      // and another
  };
  EXPECT_EQ(bytes_to_write(changed, staging.path()), 1000u + 2000u + 5000u + 1000u + 1000u);

  // A download an earlier run sized (and so reserved) costs nothing more; one of another length
  // is made again.
  const auto staged = [&](char content, const wchar_t* suffix, std::size_t size) {
    test::write_text(join_path(staging.path(), os::from_utf8(std::string(64, content)) + suffix), std::string(size, 'x'));
  };
  staged('a', L".raw", 1000);
  staged('b', L".lzms", 1999);
  EXPECT_EQ(bytes_to_write(changed, staging.path()), 2000u + 5000u + 1000u + 1000u);
  staged('b', L".lzms", 2000);
  staged('b', L".raw", 5000);
  EXPECT_EQ(bytes_to_write(changed, staging.path()), 1000u + 1000u);
}

}  // namespace
}  // namespace corvane
