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

TEST(PruneStaging, LinksPipesAndDevicesGoWhateverTheirNames) {
  TempDir client;
  TempDir outside;
  test::write_text(outside / L"target", "outside");
  const std::wstring staging = staging_dir_for(client.path());
  test::make_dirs(staging);
  test::write_text(staging + L"/aaa.raw", "staged");
  const std::string s = os::to_utf8(staging);
  ASSERT_EQ(::symlink(os::to_utf8(outside / L"target").c_str(), (s + "/aaa.lzms").c_str()), 0);
  ASSERT_EQ(::symlink(outside.utf8().c_str(), (s + "/aaa.dir").c_str()), 0);
  ASSERT_EQ(::mkfifo((s + "/aaa.parts").c_str(), 0600), 0);
  prune_staging(staging, {L"aaa"});
  EXPECT_EQ(test::read_text(staging + L"/aaa.raw"), "staged");
  EXPECT_FALSE(exists(staging + L"/aaa.lzms"));
  EXPECT_FALSE(exists(staging + L"/aaa.dir"));
  EXPECT_FALSE(exists(staging + L"/aaa.parts"));
  EXPECT_EQ(test::read_text(outside / L"target"), "outside");
}


}  // namespace
}  // namespace corvane
