// What the file-system calls do with what only Linux has: permission bits and symbolic links.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/file.h"
#include "os/fs.h"
#include "support/temp_dir.h"

namespace corvane::os {
namespace {

using test::TempDir;

TEST(FsPosix, CopyKeepsPermissions) {
  TempDir dir;
  test::write_text(dir / L"prog", "#!/bin/sh\n");
  ASSERT_EQ(::chmod((dir.utf8() + "/prog").c_str(), 0755), 0);
  EXPECT_EQ(copy_file(dir / L"prog", dir / L"copy", true), kErrorSuccess);
  struct stat st {};
  ASSERT_EQ(::stat((dir.utf8() + "/copy").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
}

TEST(FsPosix, LinksAreReportedAndRemovedAsLinks) {
  TempDir dir;
  test::make_dirs(dir / L"target");
  test::write_text(dir / L"target/keep.txt", "x");
  ASSERT_EQ(::symlink((dir.utf8() + "/target").c_str(), (dir.utf8() + "/link").c_str()), 0);
  const auto info = file_info(dir / L"link");
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->is_link);
  EXPECT_TRUE(info->is_directory);
  EXPECT_EQ(delete_file(dir / L"target"), kErrorAccessDenied);
  EXPECT_EQ(remove_directory(dir / L"link"), kErrorSuccess);
  EXPECT_FALSE(file_info(dir / L"link"));
  EXPECT_EQ(test::read_text(dir / L"target/keep.txt"), "x");
  EXPECT_EQ(remove_directory(dir / L"target"), kErrorDirNotEmpty);
}

TEST(FsPosix, ReadWriteModesCreateRunnableFilesAndTheOthersDoNot) {
  TempDir dir;
  const auto mode_of = [&](const char* name) {
    struct stat st {};
    EXPECT_EQ(::stat((dir.utf8() + "/" + name).c_str(), &st), 0);
    return st.st_mode;
  };
  File file;
  ASSERT_EQ(file.open(dir / L"staged", OpenMode::ReadWriteAlways), kErrorSuccess);
  ASSERT_EQ(file.open(dir / L"unpacked", OpenMode::ReadWriteTruncate), kErrorSuccess);
  ASSERT_EQ(file.open(dir / L"plain", OpenMode::WriteTruncate), kErrorSuccess);
  file.close();
  EXPECT_NE(mode_of("staged") & S_IXUSR, 0u);
  EXPECT_NE(mode_of("unpacked") & S_IXUSR, 0u);
  EXPECT_EQ(mode_of("plain") & S_IXUSR, 0u);
}

}  // namespace
}  // namespace corvane::os
