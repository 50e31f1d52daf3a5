// What the file-system calls do with what only Linux has: permission bits and symbolic links.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/file.h"
#include "os/fs.h"
#include "support/child_process.h"
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

TEST(FsPosix, RegularFileOpensNeverReachThroughALinkNorWaitOnAPipe) {
  TempDir dir;
  test::write_text(dir / L"outside", "outside");
  test::write_text(dir / L"plain", "plain");
  const std::string d = dir.utf8();
  ASSERT_EQ(::symlink((d + "/outside").c_str(), (d + "/link").c_str()), 0);
  ASSERT_EQ(::symlink((d + "/nowhere").c_str(), (d + "/dangling").c_str()), 0);
  ASSERT_EQ(::mkfifo((d + "/pipe").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/null", (d + "/device").c_str()), 0);
  const OpenMode modes[] = {OpenMode::ReadExisting, OpenMode::ReadWriteAlways, OpenMode::WriteTruncate,
                            OpenMode::ReadWriteTruncate, OpenMode::AppendAlways};
  File file;
  for (const OpenMode mode : modes) {
    SCOPED_TRACE(static_cast<int>(mode));
    EXPECT_EQ(file.open(dir / L"link", mode, OpenTarget::RegularFile), kErrorReparsePointEncountered);
    EXPECT_EQ(file.open(dir / L"dangling", mode, OpenTarget::RegularFile), kErrorReparsePointEncountered);
    EXPECT_EQ(file.open(dir / L"device", mode, OpenTarget::RegularFile), kErrorReparsePointEncountered);
    // Opening a pipe for reading would wait for a writer; it fails at once instead.
    EXPECT_EQ(file.open(dir / L"pipe", mode, OpenTarget::RegularFile), kErrorAccessDenied);
    EXPECT_EQ(file.open(dir.path(), mode, OpenTarget::RegularFile), kErrorAccessDenied);
    EXPECT_FALSE(file.is_open());
    ASSERT_EQ(file.open(dir / L"plain", mode, OpenTarget::RegularFile), kErrorSuccess);
    file.close();
  }
  EXPECT_EQ(test::read_text(dir / L"outside"), "outside");
  EXPECT_FALSE(file_info(dir / L"nowhere"));
  // Writes through the descriptor work as with any open; a new file is made where none was.
  ASSERT_EQ(file.open(dir / L"new", OpenMode::ReadWriteAlways, OpenTarget::RegularFile), kErrorSuccess);
  ASSERT_EQ(file.write_at(0, "abc", 3), kErrorSuccess);
  file.close();
  EXPECT_EQ(test::read_text(dir / L"new"), "abc");
}

TEST(FsPosix, CreateNewNeverOpensWhatAlreadyHasTheName) {
  TempDir dir;
  ASSERT_EQ(::symlink((dir.utf8() + "/target").c_str(), (dir.utf8() + "/dangling").c_str()), 0);
  File file;
  EXPECT_EQ(file.open(dir / L"dangling", OpenMode::CreateNew), kErrorFileExists);
  EXPECT_FALSE(file_info(dir / L"target"));  // a link is not followed to create its target
  test::write_text(dir / L"existing", "kept");
  EXPECT_EQ(file.open(dir / L"existing", OpenMode::CreateNew), kErrorFileExists);
  EXPECT_EQ(test::read_text(dir / L"existing"), "kept");
  ASSERT_EQ(file.open(dir / L"new", OpenMode::CreateNew), kErrorSuccess);
  EXPECT_EQ(file.write("x", 1), kErrorSuccess);
}

TEST(FsPosix, NamesThatAreNotUtf8CanBeFoundAndRemoved) {
  TempDir dir;
  const std::string raw = dir.utf8() + "/caf\xE9.dll";
  const int fd = ::open(raw.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "abc", 3), 3);
  ::close(fd);
  std::vector<DirEntry> entries;
  ASSERT_TRUE(list_directory(dir.path(), entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, L"caf\xDCE9.dll");
  EXPECT_EQ(entries[0].info.size, 3u);
  const std::wstring path = dir / entries[0].name;
  ASSERT_TRUE(file_info(path));
  EXPECT_EQ(delete_file(path), kErrorSuccess);
  EXPECT_NE(::access(raw.c_str(), F_OK), 0);
}

TEST(FsPosix, MountPointsAreReportedWhetherOtherFileSystemsOrBindMounts) {
  TempDir dir;
  for (const wchar_t* name : {L"plain", L"tmpfs", L"bound", L"source"}) test::make_dirs(dir / name);
  constexpr int kCannotMount = 77;
  const int code = test::run_in_mount_namespace([&] {
    if (!test::mount_tmpfs(dir / L"tmpfs", false) || !test::bind_mount(dir / L"source", dir / L"bound")) {
      return kCannotMount;
    }
    int wrong = 0;
    for (const auto& [name, mounted] : {std::pair{L"plain", false}, {L"tmpfs", true}, {L"bound", true}}) {
      const auto info = file_info(dir / name);
      if (!info || info->is_mount_point != mounted) ++wrong;
    }
    std::vector<DirEntry> entries;
    if (!list_directory(dir.path(), entries)) return 2;
    for (const DirEntry& e : entries) {
      if (e.info.is_mount_point != (e.name == L"tmpfs" || e.name == L"bound")) ++wrong;
    }
    return wrong == 0 ? 0 : 3;
  });
  if (code == test::kNoMountNamespace || code == kCannotMount) GTEST_SKIP() << "cannot mount here (code " << code << ")";
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace corvane::os
