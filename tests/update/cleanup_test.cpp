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

TEST(OldCopies, DeletedOrPutBackOnlyAtTheTopAndBelowBinAndNgtables) {
  TempDir client;
  // Each backup with its file beside it: the backup is deleted and the file stays as it was.
  const std::vector<std::wstring> deleted = {
      L"Corvane.exe.crvnold", L"bin/a.dll.crvnold", L"bin/deep/er/b.dll.CRVNOLD", L"bin/dir.crvnold/inner.crvnold",
      L"data/ngtables/t/c.bin.crvnold"};
  // Each backup without its file: it is moved back, so the file has the backup's content.
  const std::vector<std::wstring> put_back = {L"uninstall.exe.CRVNOLD", L"bin/gone.dll.crvnold",
                                              L"data/ngtables/lost.bin.crvnold"};
  // Never touched: not a backup name, or not a place backups are made.
  const std::vector<std::wstring> kept = {
      L"bin/.crvnold", L"other/y.dll.crvnold", L"data/d.bin.crvnold", L"update/h.raw.crvnold",
      L"bin/dir.crvnold/keep.dll"};
  const auto put = [&](const std::wstring& relative, const std::string& content) {
    const std::wstring path = client / relative;
    test::make_dirs(parent_dir(path));
    test::write_text(path, content);
  };
  const auto file_of = [](const std::wstring& backup) { return backup.substr(0, backup.size() - 8); };
  for (const std::wstring& backup : deleted) {
    put(backup, "old " + os::to_utf8(backup));
    put(file_of(backup), "new " + os::to_utf8(backup));
  }
  for (const std::wstring& backup : put_back) put(backup, "old " + os::to_utf8(backup));
  for (const std::wstring& relative : kept) put(relative, "kept");

  delete_old_copies(client.path());
  for (const std::wstring& backup : deleted) {
    SCOPED_TRACE(os::to_utf8(backup));
    EXPECT_FALSE(exists(client / backup));
    EXPECT_EQ(test::read_text(client / file_of(backup)), "new " + os::to_utf8(backup));
  }
  for (const std::wstring& backup : put_back) {
    SCOPED_TRACE(os::to_utf8(backup));
    EXPECT_FALSE(exists(client / backup));
    EXPECT_EQ(test::read_text(client / file_of(backup)), "old " + os::to_utf8(backup));
  }
  for (const std::wstring& relative : kept) EXPECT_EQ(test::read_text(client / relative), "kept");
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

TEST(OldCopies, FoldersThatAreLinksAreNeitherListedNorChanged) {
  // "bin", "data" or "data/ngtables" as links to folders outside: nothing there is deleted or
  // moved, even names that look like backups of missing files.
  for (const wchar_t* linked : {L"bin", L"data", L"data/ngtables"}) {
    SCOPED_TRACE(os::to_utf8(linked));
    TempDir client;
    TempDir outside;
    test::make_dirs(outside / L"ngtables");
    for (const wchar_t* name : {L"a.dll", L"a.dll.crvnold", L"b.dll.crvnold", L"ngtables/c.crvnold"}) {
      test::write_text(outside / name, "outside");
    }
    const std::wstring link = client / linked;
    test::make_dirs(parent_dir(link));
    const std::wstring target = std::wstring(linked) == L"data/ngtables" ? outside / L"ngtables" : outside.path();
    if (!test::make_link(link, target, /*directory=*/true)) GTEST_SKIP() << "this system makes no link to a folder";
    delete_old_copies(client.path());
    EXPECT_TRUE(exists(outside / L"a.dll.crvnold"));
    EXPECT_TRUE(exists(outside / L"b.dll.crvnold"));
    EXPECT_FALSE(exists(outside / L"b.dll"));
    EXPECT_TRUE(exists(outside / L"ngtables/c.crvnold"));
  }
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

// Two content keys as the engine names staged files.
const std::wstring kA(64, L'a');
const std::wstring kB = std::wstring(63, L'b') + L'0';

TEST(PruneStaging, DeletesOnlyTheEngineNamesOfContentsNoLongerNeeded) {
  TempDir client;
  const std::wstring staging = staging_dir_for(client.path());
  EXPECT_EQ(staging, client / L"update");
  test::make_dirs(join_path(staging, L"sub"));
  // Each name, and whether a clean-up that keeps kA's contents deletes it.
  const std::pair<std::wstring, bool> names[] = {
      {kA + L".raw", false},        {kA + L".parts", false},        {kB + L".lzms", true},
      {kB + L".parts", true},       {L"replace.journal.tmp", true}, {L"replace.journal", false},
      {L"run.lock", false},         {L"notes.txt", false},          {L"noext", false},
      {L".parts", false},           {kB + L".raw.bak", false},      {kB.substr(1) + L".raw", false},
      {L"ABCDEF" + kB.substr(6) + L".raw", false},
  };
  for (const auto& [name, gone] : names) test::write_text(join_path(staging, name), "x");
  prune_staging(staging, {kA});
  for (const auto& [name, gone] : names) EXPECT_EQ(exists(join_path(staging, name)), !gone) << os::to_utf8(name);
  EXPECT_TRUE(exists(join_path(staging, L"sub")));

  // With nothing to keep every staged file goes; the folder stays while anything else is in it, and
  // goes with the last staged file.
  prune_staging(staging, {});
  EXPECT_FALSE(exists(join_path(staging, kA + L".raw")));
  EXPECT_TRUE(exists(join_path(staging, L"notes.txt")));
  test::remove_all(staging);
  test::make_dirs(staging);
  test::write_text(join_path(staging, kA + L".raw"), "x");
  prune_staging(staging, {});
  EXPECT_FALSE(exists(staging));
  prune_staging(staging, {});  // a missing folder is not an error
}

TEST(PruneStaging, ALinkInThePlaceOfTheStagingFolderGoesAndWhatItLeadsToStays) {
  for (const bool keep_some : {false, true}) {
    SCOPED_TRACE(keep_some);
    TempDir client;
    TempDir outside;
    for (const wchar_t* name : {L"aaa.raw", L"bbb.raw", L"notes.txt"}) test::write_text(outside / name, "mine");
    const std::wstring staging = staging_dir_for(client.path());
    if (!test::make_link(staging, outside.path(), /*directory=*/true)) {
      GTEST_SKIP() << "this system makes no link to a folder";
    }
    prune_staging(staging, keep_some ? std::set<std::wstring>{L"aaa"} : std::set<std::wstring>{});
    EXPECT_FALSE(exists(staging));
    for (const wchar_t* name : {L"aaa.raw", L"bbb.raw", L"notes.txt"}) {
      EXPECT_EQ(test::read_text(outside / name), "mine");
    }
  }
}

}  // namespace
}  // namespace corvane
