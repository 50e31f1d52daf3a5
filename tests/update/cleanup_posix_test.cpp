// What the clean-up does with what only Linux makes in the staging folder: pipes and devices.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/fs.h"
#include "os/text.h"
#include "support/temp_dir.h"
#include "update/cleanup.h"

namespace corvane {
namespace {

using test::TempDir;

bool exists(const std::wstring& path) { return os::file_info(path).has_value(); }

TEST(PruneStaging, LinksAndPipesWithStagingNamesGoWhateverTheirKeysAndOthersStay) {
  TempDir client;
  TempDir outside;
  test::write_text(outside / L"target", "outside");
  const std::wstring staging = staging_dir_for(client.path());
  test::make_dirs(staging);
  const std::string key(64, 'a');
  test::write_text(staging + L"/" + os::from_utf8(key) + L".raw", "staged");
  const std::string s = os::to_utf8(staging) + "/";
  ASSERT_EQ(::symlink(os::to_utf8(outside / L"target").c_str(), (s + key + ".lzms").c_str()), 0);
  ASSERT_EQ(::mkfifo((s + key + ".parts").c_str(), 0600), 0);
  ASSERT_EQ(::symlink(outside.utf8().c_str(), (s + "mine.dir").c_str()), 0);
  ASSERT_EQ(::mkfifo((s + "mine.fifo").c_str(), 0600), 0);
  prune_staging(staging, {os::from_utf8(key)});
  EXPECT_EQ(test::read_text(staging + L"/" + os::from_utf8(key) + L".raw"), "staged");
  EXPECT_FALSE(exists(os::from_utf8(s + key + ".lzms")));
  EXPECT_FALSE(exists(os::from_utf8(s + key + ".parts")));
  EXPECT_TRUE(exists(os::from_utf8(s + "mine.dir")));
  EXPECT_TRUE(exists(os::from_utf8(s + "mine.fifo")));
  EXPECT_EQ(test::read_text(outside / L"target"), "outside");
}

}  // namespace
}  // namespace corvane
