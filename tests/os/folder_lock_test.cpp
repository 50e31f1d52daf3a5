#include "os/folder_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "os/fs.h"
#include "support/fs_extras.h"
#include "support/temp_dir.h"

namespace corvane::os {
namespace {

using namespace std::chrono_literals;

// Takes the lock on another thread and says when it has it.
std::future<FolderLock> take_later(const std::wstring& folder, std::atomic<bool>& taken) {
  return std::async(std::launch::async, [folder, &taken] {
    FolderLock lock(folder, L"run.lock");
    taken = lock.owned();
    return lock;
  });
}

// The lock is only ever held by one holder at a time, also when each holder removes the lock file and
// the folder as it lets go (the staging folder of a run that is up to date goes that way): the one
// that waited on the removed file takes the lock on the file that is then at the name.
TEST(FolderLock, HoldersTakeTurnsAndTheLastOneTakesTheFolderAlong) {
  test::TempDir dir;
  const std::wstring folder = dir / L"update";
  FolderLock first(folder, L"run.lock");
  ASSERT_TRUE(first.owned()) << first.error();
  EXPECT_TRUE(file_info(first.lock_file()).has_value());

  std::atomic<bool> second_taken{false};
  auto second = take_later(folder, second_taken);
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(second_taken) << "the lock was taken twice";

  first.release();
  ASSERT_EQ(second.wait_for(10s), std::future_status::ready);
  FolderLock held = second.get();
  ASSERT_TRUE(held.owned()) << held.error();
  EXPECT_TRUE(file_info(held.lock_file()).has_value());

  // A third holder waits for the second the same way.
  std::atomic<bool> third_taken{false};
  auto third = take_later(folder, third_taken);
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(third_taken);
  held.release();
  ASSERT_EQ(third.wait_for(10s), std::future_status::ready);
  FolderLock last = third.get();
  ASSERT_TRUE(last.owned());

  // What else is in the folder keeps it: only the lock file goes.
  test::write_text(folder + L"/kept.parts", "x");
  last.release();
  EXPECT_TRUE(file_info(folder + L"/kept.parts").has_value());
  EXPECT_FALSE(file_info(folder + L"/run.lock").has_value());
  ASSERT_EQ(delete_file(folder + L"/kept.parts"), kErrorSuccess);
  FolderLock again(folder, L"run.lock");
  again.release();
  EXPECT_FALSE(file_info(folder).has_value());
}

TEST(FolderLock, NeverThroughALinkAndOnlyOnAPlainFile) {
  test::TempDir dir;
  test::TempDir outside;
  const std::wstring folder = dir / L"update";
  test::make_dirs(folder + L"/run.lock");
  {
    FolderLock on_a_folder(folder, L"run.lock");
    EXPECT_FALSE(on_a_folder.owned());
    EXPECT_EQ(on_a_folder.error(), kErrorAccessDenied);
  }
  ASSERT_EQ(remove_directory(folder + L"/run.lock"), kErrorSuccess);

  test::write_text(outside / L"target", "someone's file");
  if (!test::make_link(folder + L"/run.lock", outside / L"target", false)) {
    GTEST_SKIP() << "this system makes no symbolic links";
  }
  {
    FolderLock lock(folder, L"run.lock");
    EXPECT_FALSE(lock.owned());
    EXPECT_EQ(lock.error(), kErrorReparsePointEncountered);
  }
  EXPECT_EQ(test::read_text(outside / L"target"), "someone's file");

  ASSERT_EQ(delete_file(folder + L"/run.lock"), kErrorSuccess);
  ASSERT_EQ(remove_directory(folder), kErrorSuccess);
  ASSERT_TRUE(test::make_link(folder, outside.path(), /*directory=*/true));
  {
    FolderLock lock(folder, L"run.lock");
    EXPECT_FALSE(lock.owned());
    EXPECT_EQ(lock.error(), kErrorReparsePointEncountered);
  }
  EXPECT_FALSE(file_info(outside / L"run.lock").has_value()) << "a lock file was made behind the link";
}

}  // namespace
}  // namespace corvane::os
