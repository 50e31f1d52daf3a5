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
  const std::vector<JournalEntry> entries = {{client / L"Corvane.exe", true},
                                             {client / L"bin/sub/\u00e9.dll", false},
                                             {client / L"uninstall.exe", true}};
  ASSERT_EQ(write_journal(client.path(), entries), os::kErrorSuccess);
  EXPECT_FALSE(os::file_info(journal_path(client.path()) + L".tmp").has_value());
  std::vector<JournalEntry> read;
  os::ErrorCode error = 0;
  ASSERT_EQ(read_journal(client.path(), read, error), JournalState::Found);
  ASSERT_EQ(read.size(), 3u);
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].target, native(entries[i].target));
    EXPECT_EQ(read[i].had_original, entries[i].had_original);
  }
  ASSERT_EQ(remove_journal(client.path()), os::kErrorSuccess);
  EXPECT_EQ(read_journal(client.path(), read, error), JournalState::None);
}

// A journal that was not written whole, or that names anything but a place below the client
// folder, is never acted on: putting files back from it could delete files anywhere.
TEST(ReplaceJournal, ATornOrForeignJournalIsNeverActedOn) {
  TempDir client;
  test::make_dirs(client / L"update");
  const char* texts[] = {
      "",
      "corvane replace journal 1\nB Corvane.exe\n",                 // cut short: no end line
      "corvane replace journal 1\nB Corvane.exe\nend",              // the end line unfinished
      "corvane replace journal 2\nB Corvane.exe\nend\n",            // not this program's format
      "corvane replace journal 1\nN ../outside.dll\nend\n",
      "corvane replace journal 1\nN bin/../../outside.dll\nend\n",
      "corvane replace journal 1\nN /etc/passwd\nend\n",
      "corvane replace journal 1\nN bin//x.dll\nend\n",
      "corvane replace journal 1\nN bin\\..\\..\\x.dll\nend\n",
      "corvane replace journal 1\nN C:/Windows/x.dll\nend\n",
      "corvane replace journal 1\nX bin/x.dll\nend\n",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    test::write_text(journal_path(client.path()), text);
    std::vector<JournalEntry> read;
    os::ErrorCode error = 0;
    EXPECT_EQ(read_journal(client.path(), read, error), JournalState::Malformed);
    EXPECT_TRUE(read.empty());
  }
}

TEST(ReplaceJournal, BackupsStayWhileAJournalNeedsThem) {
  TempDir client;
  test::make_dirs(client / L"bin");
  test::write_text(client / L"bin/a.dll", "new");
  test::write_text(client / L"bin/a.dll.crvnold", "old");
  ASSERT_EQ(write_journal(client.path(), {{client / L"bin/a.dll", true}}), os::kErrorSuccess);
  delete_old_copies(client.path());
  EXPECT_EQ(test::read_text(client / L"bin/a.dll.crvnold"), "old");
  // Nor does the clean-up of the staging folder take the journal.
  prune_staging(staging_dir_for(client.path()), {});
  EXPECT_TRUE(os::file_info(journal_path(client.path())).has_value());

  RestoreFailure failure;
  ASSERT_TRUE(restore_from_journal(client.path(), {{native(client / L"bin/a.dll"), true}}, failure));
  EXPECT_EQ(test::read_text(client / L"bin/a.dll"), "old");
  EXPECT_FALSE(os::file_info(client / L"bin/a.dll.crvnold").has_value());
  EXPECT_FALSE(os::file_info(journal_path(client.path())).has_value());
}

}  // namespace
}  // namespace corvane
