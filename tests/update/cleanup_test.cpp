#include "update/cleanup.h"

#include <gtest/gtest.h>

#include "base/paths.h"
#include "os/fs.h"
#include "os/text.h"
#include "support/fs_extras.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::TempDir;

bool exists(const std::wstring& path) { return os::file_info(path).has_value(); }

TEST(OldCopies, NamesEndingInTheSuffixButLongerThanIt) {
  EXPECT_TRUE(is_old_copy_name(L"a.dll.crvnold"));
  EXPECT_TRUE(is_old_copy_name(L"A.DLL.CrvNold"));
  EXPECT_TRUE(is_old_copy_name(L"x.crvnold"));
  EXPECT_FALSE(is_old_copy_name(L".crvnold"));
  EXPECT_FALSE(is_old_copy_name(L"a.dll.crvnold.tmp"));
  EXPECT_FALSE(is_old_copy_name(L"crvnold"));
}

TEST(OldCopies, DeletedOnlyAtTheTopAndBelowBinAndNgtables) {
  TempDir client;
  const std::vector<std::wstring> deleted = {
      L"Corvane.exe.crvnold", L"uninstall.exe.CRVNOLD", L"bin/a.dll.crvnold", L"bin/deep/er/b.dll.crvnold",
      L"bin/dir.crvnold/inner.crvnold", L"data/ngtables/t/c.bin.crvnold"};
  const std::vector<std::wstring> kept = {
      L"Corvane.exe", L"bin/a.dll", L"bin/.crvnold", L"other/y.dll.crvnold", L"data/d.bin.crvnold",
      L"update/h.raw.crvnold", L"bin/dir.crvnold/keep.dll"};
  for (const auto* list : {&deleted, &kept}) {
    for (const std::wstring& relative : *list) {
      const std::wstring path = client / relative;
      test::make_dirs(parent_dir(path));
      test::write_text(path, "x");
    }
  }

  delete_old_copies(client.path());
  for (const std::wstring& relative : deleted) EXPECT_FALSE(exists(client / relative)) << os::to_utf8(relative);
  for (const std::wstring& relative : kept) EXPECT_TRUE(exists(client / relative)) << os::to_utf8(relative);
  EXPECT_TRUE(exists(client / L"bin/dir.crvnold"));
}

TEST(OldCopies, ALinkInsideBinThatLeadsOutOfTheClientIsNotFollowed) {
  TempDir client;
  TempDir outside;
  test::make_dirs(client / L"bin");
  test::write_text(outside / L"far.dll.crvnold", "x");
  if (!test::make_link(client / L"bin/link", outside.path(), /*directory=*/true)) {
    GTEST_SKIP() << "this system makes no link to a folder";
  }
  delete_old_copies(client.path());
  EXPECT_TRUE(exists(outside / L"far.dll.crvnold"));
  EXPECT_TRUE(exists(client / L"bin/link"));
}

TEST(OldCopies, ABackupThatCannotBeDeletedStaysAndTheRestGo) {
  TempDir client;
  test::make_dirs(client / L"bin");
  for (const auto* name : {L"bin/busy.dll", L"bin/busy.dll.crvnold", L"bin/free.dll", L"bin/free.dll.crvnold"}) {
    test::write_text(client / name, "x");
  }
  const std::wstring busy = client / L"bin/busy.dll.crvnold";
  test::ScopedFsFault in_use([&](os::FsOp op, std::wstring_view path, std::wstring_view) {
    return op == os::FsOp::Delete && path == busy ? os::kErrorAccessDenied : os::kErrorSuccess;
  });
  delete_old_copies(client.path());
  EXPECT_TRUE(exists(busy));
  EXPECT_FALSE(exists(client / L"bin/free.dll.crvnold"));
  delete_old_copies(client / L"missing");  // a missing folder is passed over
}

TEST(OldCopies, ABackupWithoutItsFileIsPutBackInstead) {
  TempDir client;
  test::make_dirs(client / L"bin");
  test::write_text(client / L"Corvane.exe.crvnold", "old exe");
  test::write_text(client / L"bin/kept.dll", "new");
  test::write_text(client / L"bin/kept.dll.crvnold", "old");
  delete_old_copies(client.path());
  EXPECT_EQ(test::read_text(client / L"Corvane.exe"), "old exe");
  EXPECT_FALSE(exists(client / L"Corvane.exe.crvnold"));
  EXPECT_EQ(test::read_text(client / L"bin/kept.dll"), "new");
  EXPECT_FALSE(exists(client / L"bin/kept.dll.crvnold"));
}

TEST(PruneStaging, KeepsTheFilesOfNeededContentsOnly) {
  TempDir client;
  const std::wstring staging = staging_dir_for(client.path());
  EXPECT_EQ(staging, client / L"update");
  test::make_dirs(join_path(staging, L"sub"));
  for (const wchar_t* name : {L"aaa.raw", L"aaa.parts", L"bbb.lzms", L"bbb.parts", L"noext", L".parts"}) {
    test::write_text(join_path(staging, name), "x");
  }
  prune_staging(staging, {L"aaa"});
  EXPECT_TRUE(exists(join_path(staging, L"aaa.raw")));
  EXPECT_TRUE(exists(join_path(staging, L"aaa.parts")));
  EXPECT_FALSE(exists(join_path(staging, L"bbb.lzms")));
  EXPECT_FALSE(exists(join_path(staging, L"bbb.parts")));
  EXPECT_FALSE(exists(join_path(staging, L"noext")));
  EXPECT_FALSE(exists(join_path(staging, L".parts")));
  EXPECT_TRUE(exists(join_path(staging, L"sub")));

  // With nothing to keep every file goes; the folder stays while a subfolder is in it.
  prune_staging(staging, {});
  EXPECT_FALSE(exists(join_path(staging, L"aaa.raw")));
  EXPECT_TRUE(exists(join_path(staging, L"sub")));
  test::remove_all(join_path(staging, L"sub"));
  test::write_text(join_path(staging, L"aaa.raw"), "x");
  prune_staging(staging, {});
  EXPECT_FALSE(exists(staging));
  prune_staging(staging, {});  // a missing folder is not an error
}

}  // namespace
}  // namespace corvane
