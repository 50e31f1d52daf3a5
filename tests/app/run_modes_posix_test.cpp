// Relaunch behaviour that only Linux can show: another user's file in a shared temporary folder
// (placed as root, the relaunch run as an ordinary user) and a temporary folder mounted noexec.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/text.h"
#include "run_modes_fixture.h"
#include "support/child_process.h"

namespace corvane {
namespace {

using test::RunModes;

TEST_F(RunModes, AnotherUsersFileInASharedTemporaryFolderDoesNotStopTheRelaunch) {
  if (::geteuid() != 0) GTEST_SKIP() << "placing another user's file needs root";
  const std::wstring uninstaller = client_ + L"/uninstall.exe";
  test::install_record_launch_program(uninstaller);
  test::give_to_unprivileged_user(root_.path());
  // A shared temporary folder like /tmp (root's, sticky, writable by all) where root, for this
  // user "another user", left a file only it may open under the name an older setup used.
  const std::string temp = os::to_utf8(temp_);
  ASSERT_EQ(::chown(temp.c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(temp.c_str(), 01777), 0);
  const std::wstring theirs = temp_ + L"/Corvane-Uninstall.exe";
  test::write_text(theirs, "theirs");
  ASSERT_EQ(::chmod(os::to_utf8(theirs).c_str(), 0600), 0);
  const int code = test::run_as_unprivileged_user([&] { return parse({}, uninstaller) || !host.boxes.empty(); });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(test::wait_for_launch_record(temp_), "/uninstall\n" + os::to_utf8(client_) + "\n");
  EXPECT_TRUE(test::read_text(theirs) == "theirs");
}

TEST_F(RunModes, WhereTheTemporaryFolderCannotRunProgramsTheCopyRunsFromTheUsersOwnFolder) {
  const std::wstring uninstaller = client_ + L"/uninstall.exe";
  test::install_record_launch_program(uninstaller);
  constexpr int kCannotMount = 77;
  const int code = test::run_in_mount_namespace([&] {
    if (!test::mount_tmpfs(temp_, /*noexec=*/true)) return kCannotMount;
    if (parse({}, uninstaller) || !host.boxes.empty()) return 1;
    return copies_in(temp_).empty() ? 0 : 2;  // the copy that could not start is gone
  });
  if (code == test::kNoMountNamespace || code == kCannotMount) {
    GTEST_SKIP() << "cannot mount a noexec temporary folder here (code " << code << ")";
  }
  EXPECT_EQ(code, 0);
  const std::wstring own = home() + L"/.local/share/Corvane-Setup";
  EXPECT_EQ(test::wait_for_launch_record(own), "/uninstall\n" + os::to_utf8(client_) + "\n");
  EXPECT_EQ(copies_in(own).size(), 1u);
}

}  // namespace
}  // namespace corvane
