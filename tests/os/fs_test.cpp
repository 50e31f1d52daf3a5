#include "os/fs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "os/file.h"
#include "os/text.h"
#include "support/fs_extras.h"
#include "support/temp_dir.h"

namespace corvane::os {
namespace {

using test::TempDir;

TEST(Fs, MoveRefusesToReplaceWithoutTheFlagAndNeverReplacesAFolder) {
  TempDir dir;
  test::write_text(dir / L"a", "new");
  test::write_text(dir / L"b", "old");
  EXPECT_EQ(move_file(dir / L"a", dir / L"b", 0), kErrorAlreadyExists);
  EXPECT_EQ(test::read_text(dir / L"b"), "old");
  EXPECT_EQ(move_file(dir / L"a", dir / L"b", kMoveReplaceExisting | kMoveWriteThrough), kErrorSuccess);
  EXPECT_EQ(test::read_text(dir / L"b"), "new");
  EXPECT_FALSE(file_info(dir / L"a"));

  test::make_dirs(dir / L"folder");
  EXPECT_EQ(move_file(dir / L"b", dir / L"folder", kMoveReplaceExisting), kErrorAccessDenied);
  EXPECT_EQ(move_file(dir / L"missing", dir / L"c", 0), kErrorFileNotFound);
}

// A flush that fails is the failure of the call that needed it: the write-through move does not
// happen, and an atomic rewrite leaves the old file and no temporary file.
TEST(Fs, AFailedFlushFailsTheWriteThroughMoveAndTheAtomicRewrite) {
  TempDir dir;
  test::write_text(dir / L"new", "new");
  test::write_text(dir / L"target", "old");
  std::vector<std::wstring> flushed;
  test::ScopedFsFault failing([&](FsOp op, std::wstring_view path, std::wstring_view) {
    if (op != FsOp::Sync) return kErrorSuccess;
    flushed.emplace_back(path);
    return kErrorIoDevice;
  });
  EXPECT_EQ(move_file(dir / L"new", dir / L"target", kMoveReplaceExisting | kMoveWriteThrough), kErrorIoDevice);
  EXPECT_EQ(test::read_text(dir / L"target"), "old");
  EXPECT_EQ(test::read_text(dir / L"new"), "new");
  EXPECT_FALSE(flushed.empty());

  EXPECT_EQ(write_file_atomically(dir / L"target", "rewritten"), kErrorIoDevice);
  EXPECT_EQ(test::read_text(dir / L"target"), "old");
  EXPECT_FALSE(file_info(dir / L"target.tmp"));
}

TEST(Fs, FlushesByPathAndTheFreeSpaceOfAVolume) {
  TempDir dir;
  test::write_text(dir / L"file", "content");
  EXPECT_EQ(sync_file(dir / L"file"), kErrorSuccess);
  EXPECT_EQ(sync_directory(dir.path()), kErrorSuccess);
  EXPECT_NE(sync_file(dir / L"missing"), kErrorSuccess);
  std::uint64_t free_bytes = 0;
  ASSERT_EQ(free_disk_space(dir.path(), free_bytes), kErrorSuccess);
  EXPECT_GT(free_bytes, 0u);
  EXPECT_NE(free_disk_space(dir / L"missing", free_bytes), kErrorSuccess);
}

TEST(Fs, CopyHonoursFailIfExists) {
  TempDir dir;
  test::write_text(dir / L"prog", "program");
  EXPECT_EQ(copy_file(dir / L"prog", dir / L"copy", true), kErrorSuccess);
  EXPECT_EQ(copy_file(dir / L"prog", dir / L"copy", true), kErrorFileExists);
  test::write_text(dir / L"prog", "changed");
  EXPECT_EQ(copy_file(dir / L"prog", dir / L"copy", false), kErrorSuccess);
  EXPECT_EQ(test::read_text(dir / L"copy"), "changed");
  EXPECT_EQ(copy_file(dir / L"missing", dir / L"copy", false), kErrorFileNotFound);
  EXPECT_EQ(test::read_text(dir / L"copy"), "changed");
}

TEST(Fs, ListDirectoryGivesNamesAndKinds) {
  TempDir dir;
  test::write_text(dir / L"f\u00e9", "12345");
  test::make_dirs(dir / L"sub");
  std::vector<DirEntry> entries;
  ASSERT_TRUE(list_directory(dir.path(), entries));
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& e : entries) {
    if (e.name == L"sub") {
      EXPECT_TRUE(e.info.is_directory);
    } else {
      EXPECT_EQ(e.name, L"f\u00e9");
      EXPECT_EQ(e.info.size, 5u);
    }
  }
  EXPECT_FALSE(list_directory(dir / L"missing", entries));
}

TEST(Fs, AtomicWriteLeavesTheOldFileWhenTheMoveFails) {
  TempDir dir;
  const std::wstring target = dir / L"launcher.json";
  test::write_text(target, "old");
  {
    test::ScopedFsFault fault([](FsOp op, std::wstring_view, std::wstring_view) {
      return op == FsOp::Move ? kErrorSharingViolation : kErrorSuccess;
    });
    EXPECT_EQ(write_file_atomically(target, "new"), kErrorSharingViolation);
  }
  EXPECT_EQ(test::read_text(target), "old");
  EXPECT_EQ(test::read_text(target + L".tmp"), "new");
  EXPECT_EQ(write_file_atomically(target, "newer"), kErrorSuccess);
  EXPECT_EQ(test::read_text(target), "newer");
  EXPECT_FALSE(file_info(target + L".tmp"));
}

TEST(Fs, AtomicWriteNeverWritesThroughALinkAtTheTemporaryName) {
  TempDir dir;
  const std::wstring target = dir / L"launcher.json";
  const std::wstring elsewhere = dir / L"elsewhere.txt";
  test::write_text(elsewhere, "not the client's");
  if (!test::make_link(target + L".tmp", elsewhere, /*directory=*/false)) {
    GTEST_SKIP() << "this system makes no symbolic link to a file";
  }
  EXPECT_EQ(write_file_atomically(target, "{}"), kErrorSuccess);
  EXPECT_EQ(test::read_text(target), "{}");
  EXPECT_EQ(test::read_text(elsewhere), "not the client's");
  const auto info = file_info(target);
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->is_regular);
}

TEST(Fs, PositionedWritesAndSizes) {
  TempDir dir;
  File file;
  ASSERT_EQ(file.open(dir / L"data", OpenMode::ReadWriteAlways), kErrorSuccess);
  ASSERT_EQ(file.set_size(10), kErrorSuccess);
  ASSERT_EQ(file.write_at(8, "yz", 2), kErrorSuccess);
  ASSERT_EQ(file.write_at(0, "ab", 2), kErrorSuccess);
  std::uint64_t size = 0;
  ASSERT_TRUE(file.size(size));
  EXPECT_EQ(size, 10u);
  file.close();
  EXPECT_EQ(test::read_text(dir / L"data"), std::string("ab\0\0\0\0\0\0yz", 10));
  EXPECT_EQ(file.open(dir.path(), OpenMode::ReadExisting), kErrorAccessDenied);
  EXPECT_EQ(file.open(dir / L"missing", OpenMode::ReadExisting), kErrorFileNotFound);
}

TEST(Fs, ErrnoMapsToWindowsCodes) {
  EXPECT_EQ(error_from_errno(ENOENT), 2u);
  EXPECT_EQ(error_from_errno(EACCES), 5u);
  EXPECT_EQ(error_from_errno(ETXTBSY), 32u);
  EXPECT_EQ(error_from_errno(ENOSPC), 112u);
  EXPECT_EQ(error_from_errno(EEXIST), 183u);
  EXPECT_EQ(error_from_errno(EROFS), 19u);
}

}  // namespace
}  // namespace corvane::os
