// The web view's data folder: made the user's own (0700) below the given base, and refused when
// another user could have planted it or could swap it: a link, someone else's folder, a parent
// that others may write to.
#include "ui/gtk/web_data_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/temp_dir.h"

namespace corvane {
namespace {

mode_t mode_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode;
}

TEST(WebDataDir, MadeTheUsersOwnBelowTheBaseAndTightenedWhenLoose) {
  const test::TempDir temp;
  const std::string base = temp.utf8() + "/cache/deeper";
  const std::string folder = prepare_web_data_dir(base + "/");
  EXPECT_EQ(folder, base + "/" + kWebDataFolderName);
  EXPECT_TRUE(S_ISDIR(mode_of(folder)));
  EXPECT_EQ(mode_of(folder) & 07777, 0700u);
  EXPECT_EQ(mode_of(base) & 07777, 0700u);  // missing parents are made private too

  // The user's own folder, left readable by others by an older run: kept and made private.
  ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
  EXPECT_EQ(prepare_web_data_dir(base), folder);
  EXPECT_EQ(mode_of(folder) & 07777, 0700u);

  EXPECT_EQ(prepare_web_data_dir("relative/cache"), "");
  EXPECT_EQ(prepare_web_data_dir(""), "");
}

TEST(WebDataDir, RefusesALinkInItsPlaceAndLeavesItsTargetAlone) {
  const test::TempDir temp;
  const std::string base = temp.utf8() + "/cache";
  const std::string elsewhere = temp.utf8() + "/elsewhere";
  ASSERT_EQ(::mkdir(base.c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(elsewhere.c_str(), 0755), 0);
  ASSERT_EQ(::symlink(elsewhere.c_str(), (base + "/" + kWebDataFolderName).c_str()), 0);
  EXPECT_EQ(prepare_web_data_dir(base), "");
  EXPECT_EQ(mode_of(elsewhere) & 07777, 0755u);
}

TEST(WebDataDir, RefusesAParentThatOthersMayWriteUnlessSticky) {
  const test::TempDir temp;
  const std::string shared = temp.utf8() + "/shared";
  ASSERT_EQ(::mkdir(shared.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
  EXPECT_EQ(prepare_web_data_dir(shared), "");
  EXPECT_EQ(prepare_web_data_dir(shared + "/below"), "");  // every folder above counts

  // Like /tmp: others may create entries but not rename or remove the user's own.
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  const std::string folder = prepare_web_data_dir(shared);
  EXPECT_EQ(folder, shared + "/" + kWebDataFolderName);
  EXPECT_EQ(mode_of(folder) & 07777, 0700u);
}

// Another user created the folder first (the attack on a fixed name in the temporary folder).
// Needs root to give the folder away; skipped otherwise.
TEST(WebDataDir, RefusesAFolderThatAnotherUserCreatedFirst) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a folder of another user";
  const test::TempDir temp;
  const std::string base = temp.utf8() + "/tmp";
  ASSERT_EQ(::mkdir(base.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(base.c_str(), 01777), 0);
  const std::string planted = base + "/" + kWebDataFolderName;
  ASSERT_EQ(::mkdir(planted.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(planted.c_str(), 0777), 0);
  ASSERT_EQ(::chown(planted.c_str(), 65534, 65534), 0);
  EXPECT_EQ(prepare_web_data_dir(base), "");
  EXPECT_EQ(mode_of(planted) & 07777, 0777u);  // not taken over either
}

}  // namespace
}  // namespace corvane
