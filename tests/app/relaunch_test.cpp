#include "app/relaunch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/app_state.h"
#include "app/paths.h"
#include "app/record_launch.h"
#include "os/fs.h"
#include "os/process_spawn.h"
#include "os/text.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

class Relaunch : public ::testing::Test {
 protected:
  Relaunch() {
    reset_app_state();
    test::make_dirs(temp_);
    test::make_dirs(client_);
  }
  ~Relaunch() override { reset_app_state(); }

  test::TempDir root_;
  std::wstring temp_ = root_ / L"tmp";
  std::wstring client_ = root_ / L"Games/Corvane";
  test::ScopedEnv tmpdir_{"TMPDIR", os::to_utf8(temp_)};
};

TEST_F(Relaunch, TheCopyInTheTempFolderReplacesAStaleOneAndGetsTheFolder) {
  test::install_record_launch_program(client_ + L"/uninstall.exe");
  test::write_text(temp_ + L"/Corvane-Uninstall.exe", "stale copy of an older setup");
  app_state().module_path = client_ + L"/uninstall.exe";
  app_state().install_dir = client_;

  ASSERT_TRUE(relaunch_from_temp());
  // Started in the temporary folder with the flag and the folder as two arguments.
  EXPECT_EQ(test::wait_for_launch_record(temp_), "/uninstall\n" + os::to_utf8(client_) + "\n");
  EXPECT_EQ(test::read_text(temp_ + L"/Corvane-Uninstall.exe"), test::read_text(test::record_launch_program()));
  struct stat st {};
  ASSERT_EQ(::stat(os::to_utf8(temp_ + L"/Corvane-Uninstall.exe").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);
  // Nothing else is left behind in the temporary folder.
  std::vector<os::DirEntry> entries;
  ASSERT_TRUE(os::list_directory(temp_, entries));
  EXPECT_EQ(entries.size(), 2u);
}

TEST_F(Relaunch, ACopyThatCannotBeWrittenStartsNothingAndKeepsTheOldOne) {
  test::install_record_launch_program(client_ + L"/uninstall.exe");
  test::write_text(temp_ + L"/Corvane-Uninstall.exe", "older copy");
  app_state().module_path = client_ + L"/uninstall.exe";
  app_state().install_dir = client_;
  {
    test::ScopedFsFault full([](os::FsOp op, std::wstring_view, std::wstring_view) {
      return op == os::FsOp::Copy ? os::kErrorDiskFull : os::kErrorSuccess;
    });
    EXPECT_FALSE(relaunch_from_temp());
  }
  app_state().module_path = client_ + L"/missing.exe";
  EXPECT_FALSE(relaunch_from_temp());
  EXPECT_EQ(test::read_text(temp_ + L"/Corvane-Uninstall.exe"), "older copy");
  std::vector<os::DirEntry> entries;
  ASSERT_TRUE(os::list_directory(temp_, entries));
  EXPECT_EQ(entries.size(), 1u);
}

TEST_F(Relaunch, SelfDeleteRemovesTheRunningProgramsFile) {
  test::write_text(temp_ + L"/Corvane-Uninstall.exe", "copy");
  app_state().module_path = temp_ + L"/Corvane-Uninstall.exe";
  schedule_self_delete();
  EXPECT_FALSE(os::file_info(temp_ + L"/Corvane-Uninstall.exe").has_value());
}

TEST(ModulePath, IsTheRunningExecutablesFullPath) {
  const std::wstring path = os::module_file_path();
  EXPECT_EQ(file_name_of(path), L"corvane_app_tests");
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path[0], L'/');
  EXPECT_TRUE(path_exists(path));
}

}  // namespace
}  // namespace corvane
