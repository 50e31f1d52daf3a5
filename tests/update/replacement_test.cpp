#include "update/replacement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "base/paths.h"
#include "os/fs.h"
#include "os/platform.h"
#include "os/text.h"
#include "support/fs_extras.h"
#include "support/temp_dir.h"
#include "update/cleanup.h"
#include "update/replace_journal.h"

namespace corvane {
namespace {

using test::TempDir;

std::string hash_text(char c) { return std::string(64, c); }

// A client folder with a staging folder and a list of changed entries whose contents are staged.
class Replacement : public ::testing::Test {
 protected:
  std::wstring staging() const { return staging_dir_for(client_.path()); }
  std::wstring at(std::wstring_view relative) const { return client_ / relative; }

  // Adds a changed entry; its content is staged unless an entry with the same hash came earlier.
  void change(const std::string& path, char hash, const std::string& content) {
    changed_.push_back(ManifestFile{path, hash_text(hash), static_cast<std::uint32_t>(content.size()), 0});
    const std::wstring raw = join_path(staging(), os::from_utf8(hash_text(hash)) + L".raw");
    if (!os::file_info(raw)) {
      test::make_dirs(staging());
      test::write_text(raw, content);
    }
    staged_.push_back(raw);
  }

  bool apply(std::wstring_view self = {}) {
    return apply_files(client_.path(), changed_, staged_, self, result_, replaced_self_, 200);
  }

  std::string console_of_apply() {
    ::testing::internal::CaptureStdout();
    applied_ok_ = apply();
    return ::testing::internal::GetCapturedStdout();
  }

  // Every file with its content below the client folder, staging and backups included.
  std::vector<std::string> tree() const {
    std::vector<std::string> out;
    collect(client_.path(), "", out);
    std::sort(out.begin(), out.end());
    return out;
  }

  static void collect(const std::wstring& dir, const std::string& prefix, std::vector<std::string>& out) {
    std::vector<os::DirEntry> entries;
    if (!os::list_directory(dir, entries)) return;
    for (const auto& e : entries) {
      const std::string name = prefix + os::to_utf8(e.name);
      if (e.info.is_directory) {
        collect(join_path(dir, e.name), name + "/", out);
      } else {
        out.push_back(name + "=" + test::read_text(join_path(dir, e.name)));
      }
    }
  }

  TempDir client_;
  std::vector<ManifestFile> changed_;
  std::vector<std::wstring> staged_;
  UpdateResult result_;
  bool replaced_self_ = false;
  bool applied_ok_ = false;
};

TEST(TargetPath, ManifestPathsLandInTheClientFolder) {
  // Paths as the platform writes them: every '/' of the result is its separator.
  const auto native = [](std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', os::kSep);
    return path;
  };
  const std::wstring client = native(L"/c/Corvane");
  EXPECT_EQ(target_path_for(client, "bin/sub/x.dll"), native(L"/c/Corvane/bin/sub/x.dll"));
  EXPECT_EQ(target_path_for(client, "bin/uninstall.exe"), native(L"/c/Corvane/uninstall.exe"));
  EXPECT_EQ(target_path_for(client, "bin/sub/uninstall.exe"), native(L"/c/Corvane/bin/sub/uninstall.exe"));
  EXPECT_EQ(target_path_for(client, "data/ngtables/\xC3\xA9.bin"), native(L"/c/Corvane/data/ngtables/\u00e9.bin"));
}

TEST(TargetPath, ManifestsWhoseFilesCannotAllBeInPlaceConflict) {
  const auto entry = [](const char* path, char hash) { return ManifestFile{path, std::string(64, hash), 1, 0}; };
  const std::wstring client = L"/c/Corvane";
  EXPECT_FALSE(
      has_conflicting_targets(client, {entry("bin/x", 'a'), entry("bin/x.dll", 'b'), entry("bin/y/x", 'c')}));
  // The same file listed twice with one content is fine; with two it can never match both.
  EXPECT_FALSE(has_conflicting_targets(client, {entry("bin/x", 'a'), entry("bin/x", 'a')}));
  EXPECT_TRUE(has_conflicting_targets(client, {entry("bin/x", 'a'), entry("bin/x", 'b')}));
  // A file where another entry needs a folder, in either order and at any depth.
  EXPECT_TRUE(has_conflicting_targets(client, {entry("bin/x", 'a'), entry("bin/x/y", 'b')}));
  EXPECT_TRUE(has_conflicting_targets(client, {entry("data/ngtables/a/b/c", 'a'), entry("data/ngtables/a", 'b')}));
  // The uninstaller lands at the top: its manifest path is its target there.
  EXPECT_FALSE(has_conflicting_targets(client, {entry("bin/uninstall.exe", 'a'), entry("bin/uninstall.exe/x", 'b')}));
}

TEST(TargetPath, NamesThatWindowsTakesForOneAreOneTargetOnEveryPlatform) {
  const auto entry = [](const char* path, char hash) { return ManifestFile{path, std::string(64, hash), 1, 0}; };
  const std::wstring client = L"/c/Corvane";
  // Letter case outside ASCII: Cyrillic, Greek, Latin with diacritics, Armenian.
  for (const auto& [a, b] : std::vector<std::pair<const char*, const char*>>{
           {"bin/\xD0\xA4\xD0\xBE\xD0\xBD.dll", "bin/\xD1\x84\xD0\xBE\xD0\xBD.dll"},   // Фон / фон
           {"bin/\xCE\xA3", "bin/\xCF\x83"},                                              // Σ / σ
           {"bin/\xC3\x89t\xC3\xA9", "bin/\xC3\xA9T\xC3\x89"},                          // Été / éTÉ
           {"bin/\xD4\xB1", "bin/\xD5\xA1"},                                              // Ա / ա
           {"bin/A.DLL", "bin/a.dll"}}) {
    EXPECT_TRUE(has_conflicting_targets(client, {entry(a, 'a'), entry(b, 'b')})) << a << " " << b;
    EXPECT_FALSE(has_conflicting_targets(client, {entry(a, 'a'), entry(b, 'a')})) << a << " " << b;
  }
  // A folder in one case and a file in another.
  EXPECT_TRUE(has_conflicting_targets(client, {entry("bin/\xD0\x9F\xD0\xB0\xD0\xBF", 'a'),
                                               entry("bin/\xD0\xBF\xD0\xB0\xD0\xBF/x", 'b')}));  // Пап / пап/x
  // No case of their own: ß stays ß (its upper case is two letters), final sigma is not sigma to
  // Windows, and characters beyond the first plane are two units Windows compares as they are
  // (Deseret 𐐀 / 𐐨).
  EXPECT_FALSE(has_conflicting_targets(client, {entry("bin/\xC3\x9F", 'a'), entry("bin/SS", 'b')}));
  EXPECT_FALSE(has_conflicting_targets(client, {entry("bin/\xCF\x82", 'a'), entry("bin/\xCE\xA3", 'b')}));
  EXPECT_FALSE(has_conflicting_targets(client, {entry("bin/\xF0\x90\x90\x80", 'a'),
                                                entry("bin/\xF0\x90\x90\xA8", 'b')}));
}

TEST_F(Replacement, NewAndExistingFilesAreReplacedAndParentsCreated) {
  test::write_text(at(L"Corvane.exe"), "old exe");
  change("Corvane.exe", 'a', "new exe");
  change("bin/sub/x.dll", 'b', "x dll");
  change("bin/uninstall.exe", 'c', "uninstaller");
  ASSERT_TRUE(apply());
  EXPECT_EQ(result_.status, kStatusNone);
  EXPECT_FALSE(replaced_self_);
  EXPECT_EQ(tree(), (std::vector<std::string>{"Corvane.exe.crvnold=old exe", "Corvane.exe=new exe",
                                              "bin/sub/x.dll=x dll", "uninstall.exe=uninstaller"}));
}

TEST_F(Replacement, EqualContentsAreMovedOnceAndCopiedAfter) {
  change("bin/a.dll", 'a', "shared");
  change("bin/b.dll", 'a', "shared");
  change("bin/c.dll", 'c', "own");
  ASSERT_TRUE(apply());
  EXPECT_EQ(tree(), (std::vector<std::string>{"bin/a.dll=shared", "bin/b.dll=shared", "bin/c.dll=own"}));
}

TEST_F(Replacement, SelfPathIsReportedWhateverItsLetterCase) {
  change("Corvane.exe", 'a', "new");
  ASSERT_TRUE(apply(client_ / L"CORVANE.EXE"));
  EXPECT_TRUE(replaced_self_);
}

TEST_F(Replacement, BusyTargetRollsBackEveryEarlierFile) {
  test::write_text(at(L"Corvane.exe"), "old exe");
  test::make_dirs(at(L"bin"));
  test::write_text(at(L"bin/c.dll"), "old c");
  change("Corvane.exe", 'a', "new exe");
  change("bin/new.dll", 'b', "brand new");  // nothing on disk before: no backup
  change("bin/c.dll", 'c', "new c");
  const std::wstring busy_backup = at(L"bin/c.dll.crvnold");
  test::ScopedFsFault busy([&](os::FsOp op, std::wstring_view, std::wstring_view to) {
    return op == os::FsOp::Move && to == busy_backup ? os::kErrorSharingViolation : os::kErrorSuccess;
  });
  const std::string console = console_of_apply();
  EXPECT_FALSE(applied_ok_);
  EXPECT_EQ(console, "[!] Obnovlenie: fayl bin/c.dll zanyat (kod 32), otkat.\n");
  EXPECT_EQ(result_.status, kStatusFileBusy);
  EXPECT_EQ(result_.file, "bin/c.dll");
  EXPECT_EQ(result_.error_code, 32u);
  // Everything is back as it was; the staging folder is gone.
  EXPECT_EQ(tree(), (std::vector<std::string>{"Corvane.exe=old exe", "bin/c.dll=old c"}));
  EXPECT_FALSE(os::file_info(staging()));
}

TEST_F(Replacement, WriteFailureRestoresTheFailingFileToo) {
  test::write_text(at(L"Corvane.exe"), "old exe");
  test::make_dirs(at(L"bin"));
  test::write_text(at(L"bin/c.dll"), "old c");
  change("Corvane.exe", 'a', "new exe");
  change("bin/c.dll", 'c', "new c");
  change("bin/d.dll", 'd', "new d");
  const std::wstring failing = staged_[1];
  test::ScopedFsFault full([&](os::FsOp op, std::wstring_view from, std::wstring_view) {
    return op == os::FsOp::Move && from == failing ? os::kErrorDiskFull : os::kErrorSuccess;
  });
  const std::string console = console_of_apply();
  EXPECT_FALSE(applied_ok_);
  EXPECT_EQ(console, "[!] Obnovlenie: ne udalos zapisat bin/c.dll (kod 112), otkat.\n");
  EXPECT_EQ(result_.status, kStatusWriteFailed);
  EXPECT_EQ(result_.file, "bin/c.dll");
  EXPECT_EQ(result_.error_code, 112u);
  EXPECT_EQ(tree(), (std::vector<std::string>{"Corvane.exe=old exe", "bin/c.dll=old c"}));
  EXPECT_FALSE(os::file_info(staging()));
}

TEST_F(Replacement, FailedCopyOfEqualContentUndoesTheFirstMove) {
  change("bin/a.dll", 'a', "shared");
  change("bin/b.dll", 'a', "shared");
  test::ScopedFsFault full([](os::FsOp op, std::wstring_view, std::wstring_view) {
    return op == os::FsOp::Copy ? os::kErrorDiskFull : os::kErrorSuccess;
  });
  const std::string console = console_of_apply();
  EXPECT_FALSE(applied_ok_);
  EXPECT_EQ(console, "[!] Obnovlenie: ne udalos zapisat bin/b.dll (kod 112), otkat.\n");
  EXPECT_EQ(result_.status, kStatusWriteFailed);
  EXPECT_EQ(tree(), std::vector<std::string>{});
  EXPECT_TRUE(os::file_info(at(L"bin")));  // created folders stay
}

TEST_F(Replacement, APathListedTwiceNeverLosesItsOriginal) {
  test::make_dirs(at(L"bin"));
  test::write_text(at(L"bin/a.dll"), "original");
  change("bin/a.dll", 'a', "first");
  change("bin/a.dll", 'b', "second");
  change("bin/z.dll", 'f', "z");
  test::ScopedFsFault full([&](os::FsOp op, std::wstring_view from, std::wstring_view) {
    return op == os::FsOp::Move && from == staged_[2] ? os::kErrorDiskFull : os::kErrorSuccess;
  });
  (void)console_of_apply();
  EXPECT_FALSE(applied_ok_);
  EXPECT_EQ(tree(), (std::vector<std::string>{"bin/a.dll=original"}));
}

TEST_F(Replacement, APathListedTwiceWithOneContentIsNotEmptied) {
  change("bin/a.dll", 'a', "content");
  change("bin/a.dll", 'a', "content");
  ASSERT_TRUE(apply());
  EXPECT_EQ(tree(), (std::vector<std::string>{"bin/a.dll=content"}));
}

// The files of the client, without the staging folder.
std::vector<std::string> client_files(std::vector<std::string> tree) {
  std::erase_if(tree, [](const std::string& f) { return f.rfind("update/", 0) == 0; });
  return tree;
}

TEST_F(Replacement, ARollbackThatCannotPutABackupBackKeepsBothFilesAndSaysSo) {
  test::write_text(at(L"Corvane.exe"), "old exe");
  test::make_dirs(at(L"bin"));
  test::write_text(at(L"bin/c.dll"), "old c");
  change("Corvane.exe", 'a', "new exe");
  change("bin/c.dll", 'c', "new c");
  change("bin/d.dll", 'd', "new d");
  const std::wstring failing = staged_[2];
  const std::wstring held_backup = at(L"Corvane.exe.crvnold");
  // The last file fails, and the first file's backup cannot be moved back (another program holds
  // the new file without delete sharing).
  std::string console;
  {
    test::ScopedFsFault faults([&](os::FsOp op, std::wstring_view from, std::wstring_view) {
      if (op == os::FsOp::Move && from == failing) return os::kErrorDiskFull;
      if (op == os::FsOp::Move && from == held_backup) return os::kErrorSharingViolation;
      return os::kErrorSuccess;
    });
    console = console_of_apply();
  }
  EXPECT_FALSE(applied_ok_);
  EXPECT_EQ(result_.status, kStatusWriteFailed);
  EXPECT_EQ(result_.file, "bin/d.dll");
  // Nothing is lost: the new file stays where the backup could not go, the backup stays beside it
  // for the next run, and the other file is back.
  EXPECT_EQ(client_files(tree()), (std::vector<std::string>{"Corvane.exe.crvnold=old exe", "Corvane.exe=new exe",
                                                            "bin/c.dll=old c"}));
  EXPECT_NE(console.find("[!] Obnovlenie: ne udalos vernut Corvane.exe (kod 32)"), std::string::npos) << console;

  // The journal stays and says what is left: once the file is free, putting back finishes.
  std::vector<JournalEntry> journal;
  os::ErrorCode error = 0;
  ASSERT_EQ(read_journal(client_.path(), journal, error), JournalState::Found);
  RestoreFailure failure;
  ASSERT_TRUE(restore_from_journal(client_.path(), journal, failure)) << failure.file;
  EXPECT_EQ(client_files(tree()), (std::vector<std::string>{"Corvane.exe=old exe", "bin/c.dll=old c"}));
}

// A flush that fails is a failed replacement: of a file before its move, of a copy after it, or of a
// folder once all files are in place. Status 6 with the code, and the older release is back.
TEST_F(Replacement, AFlushThatFailsIsAFailedReplacementAndRollsBack) {
  struct Case {
    const char* name;
    std::function<bool(std::wstring_view)> fails;  // the flushed path that fails
    const char* file;
  };
  const std::wstring bin = at(L"bin");
  const Case cases[] = {
      {"a staged file", [&](std::wstring_view path) { return path == staged_[1]; }, "bin/c.dll"},
      {"a copy", [&](std::wstring_view path) { return path == at(L"bin/copy.dll"); }, "bin/copy.dll"},
      {"a folder", [&](std::wstring_view path) { return path == bin; }, "bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::remove_all(client_.path());
    test::make_dirs(client_.path());
    changed_.clear();
    staged_.clear();
    test::write_text(at(L"Corvane.exe"), "old exe");
    test::make_dirs(at(L"bin"));
    test::write_text(at(L"bin/c.dll"), "old c");
    change("Corvane.exe", 'a', "new exe");
    change("bin/c.dll", 'c', "new c");
    change("bin/copy.dll", 'a', "new exe");
    std::string console;
    {
      test::ScopedFsFault failing([&](os::FsOp op, std::wstring_view path, std::wstring_view) {
        return op == os::FsOp::Sync && c.fails(path) ? os::kErrorIoDevice : os::kErrorSuccess;
      });
      console = console_of_apply();
    }
    EXPECT_FALSE(applied_ok_);
    EXPECT_EQ(result_.status, kStatusWriteFailed);
    EXPECT_EQ(result_.file, c.file);
    EXPECT_EQ(result_.error_code, os::kErrorIoDevice);
    const std::string failed_line = std::string("[!] Obnovlenie: ne udalos zapisat ") + c.file + " (kod 1117), otkat.\n";
    EXPECT_EQ(client_files(tree()), (std::vector<std::string>{"Corvane.exe=old exe", "bin/c.dll=old c"}));
    if (c.file == std::string("bin")) {
      // The folder that cannot be flushed cannot be flushed for the rollback either: the files are
      // back, but that this is on the disk is not known, so the journal stays for the next run.
      EXPECT_EQ(console, failed_line +
                             "[!] Obnovlenie: ne udalos vernut bin (kod 1117), vosstanovlenie pri sleduyushchem zapuske.\n");
      std::vector<JournalEntry> journal;
      os::ErrorCode error = 0;
      ASSERT_EQ(read_journal(client_.path(), journal, error), JournalState::Found);
      RestoreFailure failure;
      EXPECT_TRUE(restore_from_journal(client_.path(), journal, failure));
    } else {
      EXPECT_EQ(console, failed_line);
    }
    EXPECT_EQ(tree(), (std::vector<std::string>{"Corvane.exe=old exe", "bin/c.dll=old c"}));
  }
}

TEST_F(Replacement, AnExceptionAfterTheFirstMoveRollsBackBeforeItGoesOn) {
  test::write_text(at(L"Corvane.exe"), "old exe");
  test::make_dirs(at(L"bin"));
  test::write_text(at(L"bin/c.dll"), "old c");
  change("Corvane.exe", 'a', "new exe");
  change("bin/c.dll", 'c', "new c");
  change("bin/d.dll", 'd', "new d");
  const std::wstring throwing = staged_[1];
  bool thrown = false;
  // Memory runs out in the middle of the second file (once: the rollback's own calls go through).
  test::ScopedFsFault out_of_memory([&](os::FsOp op, std::wstring_view from, std::wstring_view) {
    if (op == os::FsOp::Move && from == throwing && !thrown) {
      thrown = true;
      throw std::bad_alloc();
    }
    return os::kErrorSuccess;
  });
  EXPECT_THROW((void)apply(), std::bad_alloc);
  EXPECT_EQ(client_files(tree()), (std::vector<std::string>{"Corvane.exe=old exe", "bin/c.dll=old c"}));
}

TEST_F(Replacement, NothingIsWrittenBelowAFolderThatIsALink) {
  TempDir outside;
  test::write_text(outside / L"x.dll", "outside");
  test::write_text(at(L"Corvane.exe"), "old exe");
  if (!test::make_link(client_ / L"bin", outside.path(), /*directory=*/true)) {
    GTEST_SKIP() << "this system makes neither a directory symbolic link nor a junction";
  }
  change("Corvane.exe", 'a', "new exe");
  change("bin/x.dll", 'b', "new x");
  change("bin/sub/y.dll", 'c', "new y");
  const std::string console = console_of_apply();
  EXPECT_FALSE(applied_ok_);
  EXPECT_EQ(console, "[!] Obnovlenie: ne udalos zapisat bin/x.dll (kod 4395), otkat.\n");
  EXPECT_EQ(result_.status, kStatusWriteFailed);
  EXPECT_EQ(result_.error_code, os::kErrorReparsePointEncountered);
  EXPECT_EQ(test::read_text(at(L"Corvane.exe")), "old exe");
  std::vector<os::DirEntry> entries;
  ASSERT_TRUE(os::list_directory(outside.path(), entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(test::read_text(outside / L"x.dll"), "outside");
}

}  // namespace
}  // namespace corvane
