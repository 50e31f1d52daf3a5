#include "os/update_lock.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <thread>

#include "os/fs.h"
#include "os/text.h"
#include "support/temp_dir.h"
#include "update/helper_process_posix.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::TempDir;

// Every test gets its own lock folder, so that runs of other tests and programs never meet it.
class UpdateLockTest : public ::testing::Test {
 protected:
  TempDir runtime_;
  test::ScopedEnv env_{"XDG_RUNTIME_DIR", runtime_.utf8()};
  TempDir scratch_;

  std::unique_ptr<ChildProcess> start_holder(long hold_ms) {
    return std::make_unique<ChildProcess>(
        test::helper_program(),
        std::vector<std::string>{"lock", os::to_utf8(scratch_ / L"ready"), os::to_utf8(scratch_ / L"done"),
                                 std::to_string(hold_ms)});
  }

  // Takes the lock on another thread; the future turns ready once it is held. The thread is
  // left behind if the lock never comes, so that a broken lock fails the test instead of
  // hanging it.
  static std::future<bool> acquire_in_background() {
    auto promise = std::make_shared<std::promise<bool>>();
    auto future = promise->get_future();
    std::thread([promise] {
      os::UpdateLock lock;
      promise->set_value(lock.owned());
    }).detach();
    return future;
  }
};

TEST_F(UpdateLockTest, HoldersInTwoProcessesTakeTurns) {
  auto holder = start_holder(600);
  ASSERT_TRUE(test::wait_for_file(scratch_ / L"ready"));
  const auto start = std::chrono::steady_clock::now();
  {
    os::UpdateLock lock;
    ASSERT_TRUE(lock.owned());
    // The other process let go only after it had finished its work.
    EXPECT_TRUE(os::file_info(scratch_ / L"done"));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);

    // And while this process holds it, the next holder waits.
    test::remove_all(scratch_ / L"ready");
    test::remove_all(scratch_ / L"done");
    auto second = start_holder(0);
    EXPECT_FALSE(test::wait_for_file(scratch_ / L"ready", 500ms));
    lock.release();
    EXPECT_TRUE(test::wait_for_file(scratch_ / L"ready"));
  }
}

TEST_F(UpdateLockTest, ATryThatDoesNotWaitSeesAnotherHolder) {
  auto holder = start_holder(0);
  ASSERT_TRUE(test::wait_for_file(scratch_ / L"ready"));
  const auto start = std::chrono::steady_clock::now();
  os::UpdateLock tried(os::kUpdateLockName, os::LockWait::No);
  EXPECT_FALSE(tried.owned());
  EXPECT_EQ(tried.error(), os::kErrorLockHeld);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  ASSERT_EQ(::kill(holder->pid(), SIGKILL), 0);
  int status = 0;
  ASSERT_TRUE(holder->ended(10s, status));
  os::UpdateLock free(os::kUpdateLockName, os::LockWait::No);
  EXPECT_TRUE(free.owned());
  EXPECT_EQ(free.error(), os::kErrorSuccess);
}

TEST_F(UpdateLockTest, AKilledHolderReleasesIt) {
  auto holder = start_holder(0);
  ASSERT_TRUE(test::wait_for_file(scratch_ / L"ready"));
  auto acquired = acquire_in_background();
  EXPECT_EQ(acquired.wait_for(300ms), std::future_status::timeout);
  ASSERT_EQ(::kill(holder->pid(), SIGKILL), 0);
  ASSERT_EQ(acquired.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(acquired.get());
}

// Another user's doings, acted out by two users without privileges: the tests run as root (as CI
// does) and the user under test is a child process that has dropped root. Under another user the
// tests cannot stage other users' files and are skipped.
class UpdateLockOfAnotherUser : public ::testing::Test {
 protected:
  static constexpr uid_t kUser = test::kOtherUser;     // the one who updates
  static constexpr uid_t kIntruder = test::kThirdUser;  // the one who gets in the way

  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "staging another user's files needs root";
    // The helper in a place every user may run it from (the build folder may be private).
    helper_ = bin_ / L"helper";
    ASSERT_EQ(os::copy_file(os::from_utf8(test::helper_program()), helper_, false), os::kErrorSuccess);
    ASSERT_EQ(::chmod(os::to_utf8(helper_).c_str(), 0755), 0);
    give(home_.path(), kUser, 0700);
    ASSERT_EQ(::chmod(shared_tmp_.utf8().c_str(), 01777), 0);  // a folder shared by all, like /tmp
  }

  static void give(const std::wstring& path, uid_t uid, mode_t mode) {
    ASSERT_EQ(::chown(os::to_utf8(path).c_str(), uid, uid), 0);
    ASSERT_EQ(::chmod(os::to_utf8(path).c_str(), mode), 0);
  }

  // The helper takes the lock as kUser with a home of its own and the shared temporary folder;
  // returns its exit status (0: it held the lock, 6: it could not have it), or -1 when it did not
  // end within the time limit (it waits for a lock that never comes).
  int take_lock_as_user(const std::vector<std::string>& extra_env = {}) {
    std::vector<std::string> env = test::sanitizer_env();
    env.push_back("HOME=" + home_.utf8());
    env.push_back("TMPDIR=" + shared_tmp_.utf8());
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    ChildProcess child(os::to_utf8(helper_),
                       {"lock", os::to_utf8(home_ / L"ready"), os::to_utf8(home_ / L"done"), "1"}, kUser, kUser, env);
    int status = 0;
    if (!child.ended(10s, status)) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // A lock file made by the intruder where `path` is, with `mode`.
  static void plant(const std::wstring& path, mode_t mode) {
    test::write_text(path, "");
    give(path, kIntruder, mode);
  }

  TempDir bin_;
  TempDir home_;
  TempDir shared_tmp_;
  std::wstring helper_;
};

TEST_F(UpdateLockOfAnotherUser, ItsFilesInSharedFoldersNeitherBlockTheLockNorLeaveTheRunUnlocked) {
  // Where a lock in the shared temporary folder used to be for this user.
  const std::wstring old_place = shared_tmp_ / (L"CRVN_client_update." + std::to_wstring(kUser) + L".lock");
  // A runtime folder that is not the user's own.
  TempDir foreign_runtime;
  give(foreign_runtime.path(), kIntruder, 0777);
  struct Case {
    const char* name;
    std::wstring planted;
    mode_t mode;
    bool held;  // the intruder holds it
    std::vector<std::string> env;
  };
  const Case cases[] = {
      {"open to all and held", old_place, 0666, true, {}},
      {"only the intruder may open it", old_place, 0600, false, {}},
      {"in a runtime folder of the intruder", foreign_runtime / L"CRVN_client_update.lock", 0666, true,
       {"XDG_RUNTIME_DIR=" + foreign_runtime.utf8()}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plant(c.planted, c.mode);
    // Who holds a lock does not matter to flock; this process holds it for the intruder.
    const int held = ::open(os::to_utf8(c.planted).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    if (c.held) {
      ASSERT_EQ(::flock(held, LOCK_EX), 0);
    }
    EXPECT_EQ(take_lock_as_user(c.env), 0);
    ::close(held);
    // The user's lock is in its own cache folder, and the intruder's file is as it was.
    struct stat st {};
    ASSERT_EQ(::stat(os::to_utf8(home_ / L".cache/corvane/CRVN_client_update.lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kUser);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(os::to_utf8(c.planted).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kIntruder);
    test::remove_all(c.planted);
  }
}

TEST_F(UpdateLockOfAnotherUser, ALockPlaceTakenByAnotherUserIsRefusedNotSkipped) {
  // An intruder's lock file inside the user's own lock folder (left by a run as root, say), and a
  // lock folder that belongs to the intruder: the lock cannot be had safely, and no other lock
  // file is made instead.
  test::make_dirs(home_ / L".cache/corvane");
  give(home_ / L".cache", kUser, 0700);
  give(home_ / L".cache/corvane", kUser, 0700);
  plant(home_ / L".cache/corvane/CRVN_client_update.lock", 0666);
  EXPECT_EQ(take_lock_as_user(), 6);

  test::remove_all(home_ / L".cache/corvane");
  test::make_dirs(home_ / L".cache/corvane");
  give(home_ / L".cache/corvane", kIntruder, 0777);
  EXPECT_EQ(take_lock_as_user(), 6);
  EXPECT_FALSE(os::file_info(home_ / L".cache/corvane/CRVN_client_update.lock"));
  EXPECT_FALSE(os::file_info(home_ / L"ready"));
}

}  // namespace
}  // namespace corvane
