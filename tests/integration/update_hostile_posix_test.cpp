// The update run against what a hostile manifest or client folder can do on Linux: paths that name
// one file twice, links and pipes in the client folder, a lock file that is not the user's own.
// None of it may cost the user a file, hang the run or lead it outside the client folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <new>

#include "base/paths.h"
#include "integration/update_fixture.h"
#include "os/fs.h"
#include "os/text.h"
#include "os/update_lock.h"
#include "release_builder/release.h"
#include "update/cleanup.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

bool is_plain_file(const std::wstring& path) {
  const auto info = os::file_info(path);
  return info && info->is_regular;
}

TEST_F(UpdateRunTest, TwoSpellingsOfOneFileAreACorruptManifestAndTheOriginalStays) {
  // "bin/x" and "bin//x" are one file with two contents; the server has both (one packed), and a
  // third entry cannot be placed because the user has a file where its folder would be. The run
  // used to replace "bin/x" twice, the second backup over the first, and the rollback after the
  // third entry then lost the user's "bin/x".
  publish(Tree{{"bin/x", "content a"}, {"bin/xx", prose(3000, 1)}, {"bin/plugins/p.dll", "content c"}}, "1.0.0",
          "", {"bin/xx"});
  ASSERT_EQ(std::rename(os::to_utf8(published("bin/xx")).c_str(),
                        os::to_utf8(work_ / L"cdn/release/files/bin/x.lzms").c_str()),
            0);
  std::vector<ManifestFile> aliased = {entry("bin/x"), entry("bin/xx"), entry("bin/plugins/p.dll")};
  aliased[1].path = "bin//x";
  put_client_file("bin/x", "the user's original");
  put_client_file("bin/plugins", "a file of the user");
  const Tree before = client_tree();

  for (const char* spelling : {"bin//x", "bin/./x"}) {
    SCOPED_TRACE(spelling);
    aliased[1].path = spelling;
    publish_manifest(tools::manifest_text("1.0.0", "", aliased));
    server_.reset_counters();
    EXPECT_EQ(run(), kFailed) << console_;
    EXPECT_EQ(result_.status, kStatusManifestCorrupt);
    EXPECT_EQ(console_, "[!] Obnovlenie: manifest povrezhden, obnovlenie otkloneno.\n");
    EXPECT_EQ(client_tree(), before);
    EXPECT_EQ(release_requests(), 1u);
  }
}

TEST_F(UpdateRunTest, LinksInTheClientFolderNeverLeadTheRunOutside) {
  const Tree release = small_release(1);
  publish(release);
  TempDir outside;
  const Tree mine = {{"a.txt", "mine"}, {files_[0].sha256 + ".raw", "also mine"}};
  for (const auto& [name, content] : mine) write_text(outside / os::from_utf8(name), content);
  const auto outside_is_untouched = [&] {
    Tree found;
    for (const auto& [name, content] : mine) found[name] = read_text(outside / os::from_utf8(name));
    std::vector<os::DirEntry> entries;
    return os::list_directory(outside.path(), entries) && entries.size() == mine.size() && found == mine;
  };
  const std::string staging = os::to_utf8(staging_dir_for(client_.path()));

  // The staging folder is a link to another folder: the run downloads into a folder of its own.
  ASSERT_EQ(::symlink(outside.utf8().c_str(), staging.c_str()), 0);
  ASSERT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(client_tree(), release);
  EXPECT_TRUE(outside_is_untouched());

  // An up-to-date run with that link again: the link goes, and nothing behind it is listed.
  ASSERT_EQ(::symlink(outside.utf8().c_str(), staging.c_str()), 0);
  ASSERT_EQ(run(), kUpToDate) << console_;
  EXPECT_FALSE(staging_exists());
  EXPECT_TRUE(outside_is_untouched());

  // A staged file is a link to a file outside: no download is written through it.
  publish(small_release(2), "2.0.0");
  make_dirs(os::from_utf8(staging));
  for (const ManifestFile& f : files_) {
    const std::string stem = staging + "/" + f.sha256;
    for (const char* suffix : {".raw", ".lzms", ".parts"}) {
      // (equal contents share their staged files)
      if (!os::file_info(os::from_utf8(stem + suffix))) {
        ASSERT_EQ(::symlink(os::to_utf8(outside / L"a.txt").c_str(), (stem + suffix).c_str()), 0);
      }
    }
  }
  ASSERT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(client_tree(), small_release(2));
  EXPECT_TRUE(outside_is_untouched());
}

TEST_F(UpdateRunTest, PipesAndLinksAtClientFilesAreReplacedNotFollowed) {
  const Tree release = small_release(1);
  publish(release);
  ASSERT_EQ(run(), kUpdated) << console_;
  // bin/empty.cfg (an empty file in the release) becomes a pipe, which a reader waits on forever;
  // bin/dup_a.dat a link to a file outside with the right content; bin/core.dll a link to a pipe.
  TempDir outside;
  write_text(outside / L"dup_a.dat", release.at("bin/dup_a.dat"));
  const std::string empty = os::to_utf8(client_path("bin/empty.cfg"));
  ASSERT_EQ(std::remove(empty.c_str()), 0);
  ASSERT_EQ(::mkfifo(empty.c_str(), 0600), 0);
  const std::string dup = os::to_utf8(client_path("bin/dup_a.dat"));
  ASSERT_EQ(std::remove(dup.c_str()), 0);
  ASSERT_EQ(::symlink(os::to_utf8(outside / L"dup_a.dat").c_str(), dup.c_str()), 0);
  const std::string core = os::to_utf8(client_path("bin/core.dll"));
  ASSERT_EQ(std::remove(core.c_str()), 0);
  ASSERT_EQ(::symlink(empty.c_str(), core.c_str()), 0);

  // The run goes on another thread; should it wait on the pipe, a writer lets it go on and the
  // test fails instead of hanging.
  auto code = std::async(std::launch::async, [this] { return run(); });
  if (code.wait_for(30s) != std::future_status::ready) {
    ADD_FAILURE() << "the run waits on a pipe in the client folder";
    const int fd = ::open(empty.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) ::close(fd);
  }
  ASSERT_EQ(code.get(), kUpdated) << console_;
  // (checked first: reading the client's files would wait on a pipe that is still there)
  for (const char* name : {"bin/empty.cfg", "bin/dup_a.dat", "bin/core.dll"}) {
    ASSERT_TRUE(is_plain_file(client_path(name))) << name;
  }
  EXPECT_EQ(client_tree(), release);
  EXPECT_EQ(read_text(outside / L"dup_a.dat"), release.at("bin/dup_a.dat"));
  ASSERT_EQ(run(), kUpToDate) << console_;
}

// The journal's name taken by a pipe, or by a link to one: no run waits on it, and it is no journal.
TEST_F(UpdateRunTest, APipeAtTheJournalsNameHangsNoRun) {
  publish(small_release(1));
  ASSERT_EQ(run(), kUpdated) << console_;
  const std::string journal = os::to_utf8(client_path("update/replace.journal"));
  const std::string pipe = os::to_utf8(work_ / L"pipe");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  for (const bool through_link : {false, true}) {
    SCOPED_TRACE(through_link);
    make_dirs(client_path("update"));
    ASSERT_EQ(through_link ? ::symlink(pipe.c_str(), journal.c_str()) : ::mkfifo(journal.c_str(), 0600), 0);
    auto code = std::async(std::launch::async, [this] { return run(); });
    if (code.wait_for(30s) != std::future_status::ready) {
      ADD_FAILURE() << "the run waits on a pipe at the journal's name";
      const int fd = ::open(journal.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) ::close(fd);
    }
    EXPECT_EQ(code.get(), kUpToDate) << console_;
    EXPECT_FALSE(os::file_info(client_path("update/replace.journal")).has_value());
  }
}

// A journal that someone else wrote names the user's files, the run's own lock, or a file behind a
// link that leads out of the client folder: putting back from it touches none of them.
TEST_F(UpdateRunTest, AForeignJournalTouchesNoFileOfTheUser) {
  const Tree release = small_release(1);
  publish(release);
  ASSERT_EQ(run(), kUpdated) << console_;
  TempDir outside;
  write_text(outside / L"victim.txt", "someone's file");
  ASSERT_EQ(::symlink(outside.utf8().c_str(), os::to_utf8(client_path("bin/lnk")).c_str()), 0);
  const Tree mine = {{"launcher.json", "{}"}, {"screenshots/shot1.png", "png"}, {"notes.txt", "my notes"}};
  for (const auto& [path, content] : mine) put_client_file(path, content);
  for (const char* line : {"N launcher.json", "N screenshots/shot1.png", "B - notes.txt", "N bin/lnk/victim.txt",
                           "N update/run.lock"}) {
    SCOPED_TRACE(line);
    // (what a replacement would put back over notes.txt)
    put_client_file("notes.txt.crvnold", "older notes");
    put_client_file("update/replace.journal", std::string("corvane replace journal 2\n") + line + "\nend\n");
    ASSERT_EQ(run(), kUpToDate) << console_;
    for (const auto& [path, content] : mine) EXPECT_EQ(read_text(client_path(path)), content) << path;
    EXPECT_EQ(read_text(outside / L"victim.txt"), "someone's file");
    EXPECT_FALSE(os::file_info(client_path("update/replace.journal")).has_value());
  }
}

TEST_F(UpdateRunTest, ALockThatCannotBeHadSafelyFailsTheRunVisibly) {
  publish(small_release(1));
  // Another program's file where the lock file would be, behind a link.
  TempDir outside;
  write_text(outside / L"file", "someone's file");
  const std::wstring lock_path = os::UpdateLock::lock_file_path(os::kUpdateLockName);
  ASSERT_EQ(::symlink(os::to_utf8(outside / L"file").c_str(), os::to_utf8(lock_path).c_str()), 0);
  EXPECT_EQ(run(), kFailed);
  EXPECT_EQ(result_.status, kStatusLockUnavailable);
  EXPECT_EQ(result_.error_code, os::kErrorReparsePointEncountered);
  EXPECT_EQ(console_, "[!] Obnovlenie: ne udalos poluchit blokirovku " + os::to_utf8(lock_path) +
                          " (kod 4395), obnovlenie otkloneno.\n");
  EXPECT_EQ(server_.totals().requests, 0u);
  EXPECT_TRUE(client_tree().empty());
  EXPECT_EQ(read_text(outside / L"file"), "someone's file");
}

}  // namespace
}  // namespace corvane::test
