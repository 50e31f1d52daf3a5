// The update lock as a named mutex: holders take turns, an abandoned lock is taken over.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "os/update_lock.h"

namespace corvane::os {
namespace {

using namespace std::chrono_literals;

// A name of this test's own, so that no other run meets it.
std::wstring unique_name() {
  static std::atomic<int> counter{0};
  return L"Local\\CRVN_client_update-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter++);
}

// Takes the lock on a thread of its own; the future is ready once the lock is held (or refused).
// The thread is left behind if the lock never comes, so that a broken lock fails the test instead
// of hanging it.
std::future<bool> acquire_in_background(const std::wstring& name, std::chrono::milliseconds hold) {
  auto promise = std::make_shared<std::promise<bool>>();
  auto future = promise->get_future();
  std::thread([name, hold, promise] {
    UpdateLock lock(name);
    promise->set_value(lock.owned());
    std::this_thread::sleep_for(hold);
  }).detach();
  return future;
}

// The same, holding the lock until `release` is ready.
std::future<bool> acquire_in_background_until(const std::wstring& name, std::future<void> release) {
  auto promise = std::make_shared<std::promise<bool>>();
  auto future = promise->get_future();
  std::thread([name, promise, release = std::move(release)]() mutable {
    UpdateLock lock(name);
    promise->set_value(lock.owned());
    release.wait();
  }).detach();
  return future;
}

TEST(UpdateLockWin32, HoldersOnTwoThreadsTakeTurns) {
  const std::wstring name = unique_name();
  auto lock = std::make_unique<UpdateLock>(name);
  ASSERT_TRUE(lock->owned());
  EXPECT_EQ(UpdateLock::lock_file_path(name), name);
  auto second = acquire_in_background(name, 0ms);
  EXPECT_EQ(second.wait_for(500ms), std::future_status::timeout);
  lock->release();
  EXPECT_FALSE(lock->owned());
  ASSERT_EQ(second.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(second.get());

  // A moved lock stays held until its new owner goes.
  auto third = std::make_unique<UpdateLock>(name);
  ASSERT_TRUE(third->owned());
  UpdateLock moved = std::move(*third);
  EXPECT_FALSE(third->owned());
  third.reset();
  auto fourth = acquire_in_background(name, 0ms);
  EXPECT_EQ(fourth.wait_for(300ms), std::future_status::timeout);
  moved.release();
  ASSERT_EQ(fourth.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(fourth.get());
}

TEST(UpdateLockWin32, ATryThatDoesNotWaitSeesAnotherHolder) {
  const std::wstring name = unique_name();
  // A mutex may be taken again by the thread that holds it: the holder is another thread.
  std::promise<void> release;
  auto held = acquire_in_background_until(name, release.get_future());
  ASSERT_EQ(held.wait_for(10s), std::future_status::ready);
  ASSERT_TRUE(held.get());
  UpdateLock tried(name, LockWait::No);
  EXPECT_FALSE(tried.owned());
  EXPECT_EQ(tried.error(), kErrorLockHeld);
  release.set_value();
  for (int i = 0; i < 100; ++i) {
    UpdateLock again(name, LockWait::No);
    if (again.owned()) return;
    std::this_thread::sleep_for(50ms);
  }
  ADD_FAILURE() << "the lock stayed held after its holder let go";
}

TEST(UpdateLockWin32, ALockWhoseHolderEndedIsTakenOver) {
  const std::wstring name = unique_name();
  // The holder's thread ends without releasing: the system marks the mutex abandoned.
  UpdateLock* leaked = nullptr;
  std::thread([&] { leaked = new UpdateLock(name); }).join();
  ASSERT_TRUE(leaked->owned());
  auto next = acquire_in_background(name, 0ms);
  ASSERT_EQ(next.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(next.get());
  delete leaked;  // closes its handle; releasing a mutex this thread does not own is refused
}

TEST(UpdateLockWin32, ANameTheSystemRefusesGivesNoLock) {
  // A name with a backslash in the wrong namespace is refused by the object manager.
  UpdateLock lock(L"NoSuchNamespace\\CRVN_client_update");
  EXPECT_FALSE(lock.owned());
  UpdateLock with_nul(std::wstring(L"Local\\a\0b", 9));
  EXPECT_FALSE(with_nul.owned());
}

}  // namespace
}  // namespace corvane::os
