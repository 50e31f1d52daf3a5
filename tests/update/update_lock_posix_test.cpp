#include "os/update_lock.h"

#include <gtest/gtest.h>

#include <chrono>
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

TEST_F(UpdateLockTest, AKilledHolderReleasesIt) {
  auto holder = start_holder(0);
  ASSERT_TRUE(test::wait_for_file(scratch_ / L"ready"));
  auto acquired = acquire_in_background();
  EXPECT_EQ(acquired.wait_for(300ms), std::future_status::timeout);
  ASSERT_EQ(::kill(holder->pid(), SIGKILL), 0);
  ASSERT_EQ(acquired.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(acquired.get());
}

}  // namespace
}  // namespace corvane
