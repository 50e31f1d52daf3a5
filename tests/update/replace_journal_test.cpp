#include "update/replace_journal.h"

#include <gtest/gtest.h>

#include "os/fs.h"
#include "os/platform.h"
#include "support/temp_dir.h"
#include "update/cleanup.h"

namespace corvane {
namespace {

using test::TempDir;

std::wstring native(std::wstring path) {
  for (wchar_t& c : path) {
    if (c == L'/') c = os::kSep;
  }
  return path;
}

TEST(ReplaceJournal, WhatIsWrittenIsReadBackAndOnlyThat) {
  TempDir client;
  test::make_dirs(client / L"update");
  const std::vector<JournalEntry> entries = {{client / L"Corvane.exe", true, {true, 12, std::string(64, 'c')}},
                                             {client / L"bin/sub/\u00e9.dll", false, {}},
                                             {client / L"uninstall.exe", true, {}}};
  ASSERT_EQ(write_journal(client.path(), entries), os::kErrorSuccess);
  EXPECT_FALSE(os::file_info(journal_path(client.path()) + L".tmp").has_value());
  std::vector<JournalEntry> read;
  os::ErrorCode error = 0;
  ASSERT_EQ(read_journal(client.path(), read, error), JournalState::Found);
  ASSERT_EQ(read.size(), 3u);
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].target, native(entries[i].target));
    EXPECT_EQ(read[i].had_original, entries[i].had_original);
    EXPECT_EQ(read[i].original.plain, entries[i].original.plain);
    EXPECT_EQ(read[i].original.size, entries[i].original.size);
    EXPECT_EQ(read[i].original.sha256, entries[i].original.sha256);
  }
  ASSERT_EQ(remove_journal(client.path()), os::kErrorSuccess);
  EXPECT_EQ(read_journal(client.path(), read, error), JournalState::None);
}

// A journal that was not written whole, or that names anything but a place a manifest entry lands
// on, is never acted on: putting files back from it could delete the user's files, files anywhere,
// or the staging folder's lock.
TEST(ReplaceJournal, ATornOrForeignJournalIsNeverActedOn) {
  TempDir client;
  test::make_dirs(client / L"update");
  const std::string hash(64, 'a');
  const std::string texts[] = {
      "",
      "corvane replace journal 2\nB - Corvane.exe\n",                 // cut short: no end line
      "corvane replace journal 2\nB - Corvane.exe\nend",              // the end line unfinished
      "corvane replace journal 1\nB Corvane.exe\nend\n",             // not this program's format
      "corvane replace journal 2\nN ../outside.dll\nend\n",
      "corvane replace journal 2\nN bin/../../outside.dll\nend\n",
      "corvane replace journal 2\nN /etc/passwd\nend\n",
      "corvane replace journal 2\nN bin//x.dll\nend\n",
      "corvane replace journal 2\nN bin\\..\\..\\x.dll\nend\n",
      "corvane replace journal 2\nN C:/Windows/x.dll\nend\n",
      "corvane replace journal 2\nX bin/x.dll\nend\n",
      "corvane replace journal 2\nB bin/x.dll\nend\n",                // no original
      "corvane replace journal 2\nB 12 " + hash.substr(1) + " bin/x.dll\nend\n",
      "corvane replace journal 2\nB 3 " + hash + " data/settings.cfg\nend\n",  // the user's own
      "corvane replace journal 2\nN update/run.lock\nend\n",         // the staging folder
      "corvane replace journal 2\nN bin/a.dll\nN update/" + hash + ".raw\nend\n",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    test::write_text(journal_path(client.path()), text);
    std::vector<JournalEntry> read;
    os::ErrorCode error = 0;
    EXPECT_EQ(read_journal(client.path(), read, error), JournalState::Malformed);
    EXPECT_TRUE(read.empty());
  }
}

// After a power cut took back the deletion of an earlier run's backup, the folder holds a backup
// that this replacement never made: only the one whose size and SHA-256 the journal names goes back.
TEST(ReplaceJournal, OnlyTheBackupThisReplacementMadeIsPutBack) {
  struct Case {
    const char* what;
    const char* backup;    // what has the backup's name, or nullptr
    const char* expected;  // the target's content afterwards
  };
  const Case cases[] = {
      {"its own backup", "r1", "r1"},
      {"a backup of the release before", "r0", "r2"},
      {"one of the same size", "x1", "r2"},
      {"none", nullptr, "r2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir client;
    test::make_dirs(client / L"bin");
    test::write_text(client / L"bin/a.dll", "r1");
    JournalEntry entry{native(client / L"bin/a.dll"), true, {}};
    ASSERT_TRUE(describe_original(entry.target, entry.original));
    ASSERT_EQ(write_journal(client.path(), {entry}), os::kErrorSuccess);
    test::write_text(client / L"bin/a.dll", "r2");
    if (c.backup != nullptr) test::write_text(client / L"bin/a.dll.crvnold", c.backup);
    std::vector<JournalEntry> read;
    os::ErrorCode error = 0;
    ASSERT_EQ(read_journal(client.path(), read, error), JournalState::Found);
    RestoreFailure failure;
    ASSERT_TRUE(restore_from_journal(client.path(), read, failure));
    EXPECT_EQ(test::read_text(client / L"bin/a.dll"), c.expected);
    EXPECT_FALSE(os::file_info(journal_path(client.path())).has_value());
  }
}

TEST(ReplaceJournal, BackupsStayWhileAJournalNeedsThem) {
  TempDir client;
  test::make_dirs(client / L"bin");
  test::write_text(client / L"bin/a.dll", "new");
  test::write_text(client / L"bin/a.dll.crvnold", "old");
  JournalEntry entry{native(client / L"bin/a.dll"), true, {}};
  test::write_text(client / L"bin/a.dll", "old");
  ASSERT_TRUE(describe_original(entry.target, entry.original));
  test::write_text(client / L"bin/a.dll", "new");
  ASSERT_EQ(write_journal(client.path(), {entry}), os::kErrorSuccess);
  delete_old_copies(client.path());
  EXPECT_EQ(test::read_text(client / L"bin/a.dll.crvnold"), "old");
  // Nor does the clean-up of the staging folder take the journal.
  prune_staging(staging_dir_for(client.path()), {});
  EXPECT_TRUE(os::file_info(journal_path(client.path())).has_value());

  RestoreFailure failure;
  ASSERT_TRUE(restore_from_journal(client.path(), {entry}, failure));
  EXPECT_EQ(test::read_text(client / L"bin/a.dll"), "old");
  EXPECT_FALSE(os::file_info(client / L"bin/a.dll.crvnold").has_value());
  EXPECT_FALSE(os::file_info(journal_path(client.path())).has_value());
}

}  // namespace
}  // namespace corvane
