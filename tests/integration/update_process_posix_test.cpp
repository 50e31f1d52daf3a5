// The update run and other processes: programs that hold client files, and a second update of the
// same folder started at the same time.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>

#include "base/paths.h"
#include "integration/update_fixture.h"
#include "os/fs.h"
#include "os/text.h"
#include "update/helper_process_posix.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

TEST_F(UpdateRunTest, ClosesProgramsOutsideTheClientThatHoldItsFilesAndNoOthers) {
  publish(small_release(1));
  ASSERT_EQ(run(), kUpdated) << console_;
  publish(small_release(2), "2.0.0");

  // One copy of the helper runs from the client folder, the other from the build folder; both
  // have bin/core.dll mapped.
  const std::wstring inside_program = client_path("bin/tools/holder");
  make_dirs(parent_dir(inside_program));
  ASSERT_EQ(os::copy_file(os::from_utf8(helper_program()), inside_program, false), os::kErrorSuccess);
  const std::string core = os::to_utf8(client_path("bin/core.dll"));
  ChildProcess outside(helper_program(), {"map", core, os::to_utf8(work_ / L"outside.ready")});
  ChildProcess inside(os::to_utf8(inside_program), {"map", core, os::to_utf8(work_ / L"inside.ready")});
  ASSERT_TRUE(wait_for_file(work_ / L"outside.ready"));
  ASSERT_TRUE(wait_for_file(work_ / L"inside.ready"));

  ASSERT_EQ(run(), kUpdated) << console_;
  const std::string name = os::to_utf8(file_name_of(os::from_utf8(helper_program())));
  EXPECT_NE(console_.find("[*] Obnovlenie: zakryvaem " + name + ", on derzhit fayly klienta.\n"), std::string::npos)
      << console_;
  EXPECT_EQ(console_.find("zakryvaem holder"), std::string::npos) << console_;
  int status = 0;
  EXPECT_TRUE(outside.ended(5s, status));
  EXPECT_TRUE(inside.running());
  EXPECT_EQ(read_text(client_path("bin/core.dll")), small_release(2)["bin/core.dll"]);
}

#ifdef CORVANE_UPDATE_CLI
TEST_F(UpdateRunTest, TwoUpdatesOfOneFolderAtOnceTakeTurns) {
  const Tree release = small_release(1);
  publish(release);
  // A slow file keeps the first run downloading while the second starts.
  server_.add_fault({.kind = test_cdn::FaultKind::kSlowBody,
                     .path = "/release/" + file_url_path(entry("bin/core.dll")),
                     .bytes_per_second = 100000});
  const std::vector<std::string> args = {"--base-url", server_.base_url(), client_.utf8()};
  ChildProcess first(CORVANE_UPDATE_CLI, args);
  ChildProcess second(CORVANE_UPDATE_CLI, args);
  int first_status = 0;
  int second_status = 0;
  ASSERT_TRUE(first.ended(60s, first_status));
  ASSERT_TRUE(second.ended(60s, second_status));
  ASSERT_TRUE(WIFEXITED(first_status) && WIFEXITED(second_status));
  // One installs, the other then finds the client current; no file is fetched twice.
  EXPECT_EQ(WEXITSTATUS(first_status) + WEXITSTATUS(second_status), 1);
  EXPECT_EQ(manifest_fetches().requests, 2u);
  for (const ManifestFile& f : files_) {
    // The second of the equal files is copied, and an empty file is never asked for.
    if (f.path != "data/ngtables/dup_b.dat" && f.size != 0) {
      EXPECT_EQ(fetched(f.path).requests, 1u) << f.path;
    }
  }
  EXPECT_EQ(client_tree(), release);

  // The command line never makes the client folder itself.
  const std::wstring missing = work_ / L"no-such-client";
  ChildProcess refused(CORVANE_UPDATE_CLI, {"--base-url", server_.base_url(), os::to_utf8(missing)});
  int refused_status = 0;
  ASSERT_TRUE(refused.ended(30s, refused_status));
  EXPECT_TRUE(WIFEXITED(refused_status) && WEXITSTATUS(refused_status) == kFailed);
  EXPECT_FALSE(os::file_info(missing).has_value());
}

// A folder name is bytes on Linux: the command line updates the folder it was given, not another
// whose name reads the same once the bytes that are not UTF-8 are replaced.
TEST_F(UpdateRunTest, TheCommandLineUpdatesAFolderNamedInBytesThatAreNotUtf8AndNoOther) {
  publish(small_release(1));
  const std::string given = work_.utf8() + "/caf\xE9";
  const std::string lookalike = work_.utf8() + "/caf\xEF\xBF\xBD";  // "caf" and U+FFFD
  ASSERT_EQ(::mkdir(given.c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(lookalike.c_str(), 0700), 0);
  ChildProcess cli(CORVANE_UPDATE_CLI, {"--base-url", server_.base_url(), given});
  int status = 0;
  ASSERT_TRUE(cli.ended(60s, status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kUpdated) << status;
  struct stat info {};
  EXPECT_EQ(::stat((given + "/Corvane.exe").c_str(), &info), 0);
  EXPECT_NE(::stat((lookalike + "/Corvane.exe").c_str(), &info), 0);
}

// The update's command line where another account may run it, that account's own runtime folder,
// and the environment it runs with.
struct OtherAccount {
  TempDir bin;
  TempDir runtime;
  std::wstring cli = bin / L"corvane-update";
  std::vector<std::string> env = sanitizer_env();

  // False when the program could not be put where that account may run it.
  bool prepare() {
    env.push_back("XDG_RUNTIME_DIR=" + runtime.utf8());
    env.push_back("HOME=" + runtime.utf8());
    return os::copy_file(os::from_utf8(CORVANE_UPDATE_CLI), cli, false) == os::kErrorSuccess &&
           ::chmod(bin.utf8().c_str(), 0755) == 0 && ::chown(runtime.utf8().c_str(), kOtherUser, kOtherUser) == 0 &&
           ::chmod(runtime.utf8().c_str(), 0700) == 0;
  }
  ChildProcess start(const std::vector<std::string>& args) const {
    return ChildProcess(os::to_utf8(cli), args, kOtherUser, kOtherUser, env);
  }
};

// Two accounts that share one client folder: each has its own update lock, so only a lock of the
// folder itself keeps one run from replacing or cleaning up under the other.
TEST_F(UpdateRunTest, TwoAccountsUpdatingOneSharedFolderTakeTurns) {
  if (::geteuid() != 0) GTEST_SKIP() << "a second account needs root to start it";
  const Tree release = small_release(1);
  publish(release);
  server_.add_fault({.kind = test_cdn::FaultKind::kSlowBody,
                     .path = "/release/" + file_url_path(entry("bin/core.dll")),
                     .bytes_per_second = 100000});
  OtherAccount other;
  ASSERT_TRUE(other.prepare());
  // A folder both accounts may write, and what either makes in it the other may change.
  ASSERT_EQ(::chown(client_.utf8().c_str(), kOtherUser, kOtherUser), 0);
  const mode_t old_mask = ::umask(0);

  const std::vector<std::string> args = {"--base-url", server_.base_url(), client_.utf8()};
  ChildProcess mine(os::to_utf8(other.cli), args);
  ChildProcess theirs = other.start(args);
  int my_status = 0;
  int their_status = 0;
  const bool mine_ended = mine.ended(60s, my_status);
  const bool theirs_ended = theirs.ended(60s, their_status);
  ::umask(old_mask);
  ASSERT_TRUE(mine_ended && theirs_ended);
  ASSERT_TRUE(WIFEXITED(my_status) && WIFEXITED(their_status));
  // One installs, the other then finds the client current.
  EXPECT_EQ(WEXITSTATUS(my_status) + WEXITSTATUS(their_status), 1)
      << "exit codes " << WEXITSTATUS(my_status) << " and " << WEXITSTATUS(their_status);
  EXPECT_EQ(fetched("bin/core.dll").requests, 1u);
  EXPECT_EQ(client_tree(), release);
}

// An account that may only read the client folder (another account installed it) can neither lock
// nor change it, but still learns that the client is current; an update it cannot write fails as
// a write failure, and the folder stays as it was.
TEST_F(UpdateRunTest, AnAccountThatMayOnlyReadTheFolderFindsItCurrentAndChangesNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "a second account needs root to start it";
  const Tree release = small_release(1);
  publish(release);
  ASSERT_EQ(run(), kUpdated) << console_;
  OtherAccount other;
  ASSERT_TRUE(other.prepare());
  ASSERT_EQ(::chmod(client_.utf8().c_str(), 0755), 0);
  const auto run_as_reader = [&] {
    ChildProcess reader = other.start({"--base-url", server_.base_url(), client_.utf8()});
    int status = 0;
    return reader.ended(60s, status) && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(run_as_reader(), static_cast<int>(kUpToDate));
  publish(small_release(2), "2.0.0");
  EXPECT_EQ(run_as_reader(), static_cast<int>(kFailed));
  EXPECT_EQ(client_tree(), release);
  EXPECT_FALSE(os::file_info(client_path("update")));

  // A journal there (a run of the owner under way, or one cut short): the reader neither puts
  // anything back nor says it would, and leaves the journal to a run that may write.
  // (the owner's lock file there, which a reader can open and lock)
  put_client_file("update/run.lock", "");
  put_client_file("update/replace.journal", "corvane replace journal 2\nN bin/extra.dll\nend\n");
  put_client_file("bin/extra.dll", "the owner's run put it there");
  const Tree with_journal = client_tree();
  const std::string out = other.runtime.utf8() + "/reader.out";
  ChildProcess reader("/bin/sh", {"-c", "exec \"$0\" --base-url \"$1\" \"$2\" > \"$3\"", os::to_utf8(other.cli),
                                  server_.base_url(), client_.utf8(), out},
                      kOtherUser, kOtherUser, other.env);
  int status = 0;
  ASSERT_TRUE(reader.ended(60s, status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kFailed);
  const std::string console = read_text(os::from_utf8(out));
  EXPECT_EQ(console.find("vozvrashchaem prezhnyuyu versiyu"), std::string::npos) << console;
  EXPECT_NE(console.find("dostupna tolko dlya chteniya"), std::string::npos) << console;
  EXPECT_EQ(client_tree(), with_journal);
}
#endif

}  // namespace
}  // namespace corvane::test
