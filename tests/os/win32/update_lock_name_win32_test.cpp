// The update lock of every update run: the mutex "Local\CRVN_client_update" of the session. Shared
// by the whole user, so this test runs alone (WINDOWS_USER_STATE).
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "os/update_lock.h"

namespace corvane::os {
namespace {

TEST(UpdateLockName, TheRunsLockIsTheSessionsNamedMutex) {
  UpdateLock lock;
  ASSERT_TRUE(lock.owned());
  const HANDLE mutex = ::OpenMutexW(SYNCHRONIZE, FALSE, L"Local\\CRVN_client_update");
  ASSERT_NE(mutex, nullptr);
  DWORD while_held = WAIT_FAILED;
  std::thread([&] { while_held = ::WaitForSingleObject(mutex, 0); }).join();
  EXPECT_EQ(while_held, static_cast<DWORD>(WAIT_TIMEOUT));
  lock.release();
  DWORD after = WAIT_FAILED;
  std::thread([&] {
    after = ::WaitForSingleObject(mutex, 5000);
    if (after == WAIT_OBJECT_0) ::ReleaseMutex(mutex);
  }).join();
  EXPECT_EQ(after, static_cast<DWORD>(WAIT_OBJECT_0));
  ::CloseHandle(mutex);
}

}  // namespace
}  // namespace corvane::os
