#include "base/paths.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace corvane {
namespace {

TEST(Paths, TrimKeepsDriveRootsAndShortPaths) {
  EXPECT_EQ(trim_trailing_slashes(L"C:\\"), L"C:\\");
  EXPECT_EQ(trim_trailing_slashes(L"C:\\Games\\"), L"C:\\Games");
  EXPECT_EQ(trim_trailing_slashes(L"D:\\a\\\\"), L"D:\\a");
  EXPECT_EQ(trim_trailing_slashes(L"D:\\a/\\/"), L"D:\\a");
  EXPECT_EQ(trim_trailing_slashes(L"/home/u/"), L"/home/u");
  EXPECT_EQ(trim_trailing_slashes(L"/a/"), L"/a/");  // three characters: left alone
  EXPECT_EQ(trim_trailing_slashes(L""), L"");
}

TEST(Paths, NameAndParentSplitAtEitherSeparator) {
  EXPECT_EQ(file_name_of(L"C:\\x/y\\uninstall.exe"), L"uninstall.exe");
  EXPECT_EQ(file_name_of(L"plain"), L"plain");
  EXPECT_EQ(file_name_of(L"dir/"), L"");
  EXPECT_EQ(parent_dir(L"C:\\x/y\\uninstall.exe"), L"C:\\x/y");
  EXPECT_EQ(parent_dir(L"/top"), L"");
  EXPECT_EQ(parent_dir(L"plain"), L"");
}

TEST(Paths, EqualIgnoresCaseOnly) {
  EXPECT_TRUE(paths_equal(L"C:\\Corvane\\Uninstall.EXE", L"c:\\corvane\\uninstall.exe"));
  EXPECT_TRUE(paths_equal(L"\u0416\u0418", L"\u0436\u0438"));
  EXPECT_FALSE(paths_equal(L"C:\\a", L"C:\\a\\"));
  EXPECT_FALSE(paths_equal(L"C:\\a", L"C:/a"));
}

TEST(Paths, ExistenceTellsFilesFromFolders) {
  test::TempDir dir;
  test::write_text(dir / L"uninstall.exe", "");
  EXPECT_TRUE(dir_exists(dir.path()));
  EXPECT_FALSE(dir_exists(dir / L"uninstall.exe"));
  EXPECT_TRUE(path_exists(dir / L"uninstall.exe"));
  EXPECT_FALSE(path_exists(dir / L"missing"));
}

}  // namespace
}  // namespace corvane
