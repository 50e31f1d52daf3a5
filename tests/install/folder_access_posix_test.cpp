// The client folder as other accounts of the same computer see it on Linux: a folder the install
// makes, or one of the user's own that was there, is the user's alone (mode 0700); another owner's
// folder and a link are left as they are. Another user is a child process that has dropped root.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "install/folder_access.h"
#include "os/text.h"
#include "support/child_process.h"
#include "support/fs_extras.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

mode_t mode_of(const std::wstring& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(os::to_utf8(path).c_str(), &st), 0) << os::to_utf8(path);
  return st.st_mode & 07777;
}

// In a child as another user: 0 when it can list `folder` or create a file in it, 1 when both are
// refused.
int other_user_gets_in(const std::wstring& folder) {
  const std::string path = os::to_utf8(folder);
  return test::run_as_unprivileged_user([path] {
    if (DIR* d = ::opendir(path.c_str())) {
      ::closedir(d);
      return 0;
    }
    const int fd = ::open((path + "/planted.so").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd >= 0) {
      ::close(fd);
      return 0;
    }
    return 1;
  });
}

class ClientFolderPosix : public ::testing::Test {
 protected:
  // Others may pass through the test's folder, as through a home folder or /opt.
  void SetUp() override { ASSERT_EQ(::chmod(root_.utf8().c_str(), 0755), 0); }
  test::TempDir root_;
};

TEST_F(ClientFolderPosix, AFolderTheInstallMakesIsClosedToOtherUsers) {
  const std::wstring client = root_ / L"Games/Corvane";
  ASSERT_TRUE(ensure_client_folder(client));
  EXPECT_EQ(mode_of(client), 0700u);
  EXPECT_NE(mode_of(root_ / L"Games") & 0077, 0u) << "the folders above keep the usual mode";
  EXPECT_EQ(other_user_gets_in(client), 1);
  // What the user can do is unchanged.
  test::write_text(client + L"/Corvane.exe", "client");
  EXPECT_TRUE(can_write_folder(client));
}

TEST_F(ClientFolderPosix, AnExistingFolderIsClosedOnlyWhenItIsTheUsersOwn) {
  const std::wstring own = root_ / L"own";
  test::make_dirs(own);
  ASSERT_EQ(::chmod(os::to_utf8(own).c_str(), 0777), 0);
  ASSERT_EQ(other_user_gets_in(own), 0);
  EXPECT_TRUE(ensure_client_folder(own));
  EXPECT_EQ(mode_of(own), 0700u);
  EXPECT_EQ(other_user_gets_in(own), 1);

  // A link at the name: the folder it leads to keeps its mode.
  const std::wstring target = root_ / L"target";
  test::make_dirs(target);
  ASSERT_EQ(::chmod(os::to_utf8(target).c_str(), 0755), 0);
  ASSERT_TRUE(test::make_link(root_ / L"link", target, true));
  EXPECT_TRUE(ensure_client_folder(root_ / L"link"));
  EXPECT_EQ(mode_of(target), 0755u);

  if (::geteuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
  const std::wstring theirs = root_ / L"theirs";
  test::make_dirs(theirs);
  ASSERT_EQ(::chmod(os::to_utf8(theirs).c_str(), 0755), 0);
  test::give_to_unprivileged_user(theirs);
  EXPECT_TRUE(ensure_client_folder(theirs));
  EXPECT_EQ(mode_of(theirs), 0755u);
}

}  // namespace
}  // namespace corvane
