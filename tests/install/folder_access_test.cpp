#include "install/folder_access.h"

#include <gtest/gtest.h>

#include "base/paths.h"
#include "support/fs_extras.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

TEST(EnsureDirectory, CreatesEveryLevelAndAcceptsWhatIsThere) {
  test::TempDir dir;
  const std::wstring deep = dir / L"a/b/c/\u041a\u043b\u0438\u0435\u043d\u0442";
  EXPECT_TRUE(ensure_directory(deep));
  EXPECT_TRUE(dir_exists(deep));
  EXPECT_TRUE(ensure_directory(deep));
  test::write_text(dir / L"file", "x");
  EXPECT_TRUE(ensure_directory(dir / L"file"));  // a file of that name: the write test decides
  EXPECT_FALSE(can_write_folder(dir / L"file"));

  EXPECT_FALSE(ensure_directory(L"relative/Corvane"));
  EXPECT_FALSE(path_exists(L"relative"));
  EXPECT_FALSE(ensure_directory(dir / L"file/below"));
  test::ScopedFsFault fault([](os::FsOp op, std::wstring_view path, std::wstring_view) {
    const bool y = path.ends_with(L"/y") || path.ends_with(L"\\y");
    return op == os::FsOp::CreateDirectory && y ? os::kErrorAccessDenied : os::kErrorSuccess;
  });
  EXPECT_FALSE(ensure_directory(dir / L"x/y/z"));
  EXPECT_FALSE(path_exists(dir / L"x/y"));
}

TEST(CanWriteFolder, LeavesNoMarkerWhetherItSucceedsOrNot) {
  test::TempDir dir;
  const std::wstring marker = dir / L".crvn_write_test";
  test::write_text(marker, "left by an interrupted run");
  EXPECT_TRUE(can_write_folder(dir.path()));
  EXPECT_FALSE(path_exists(marker));
  test::ScopedFsFault fault([](os::FsOp op, std::wstring_view, std::wstring_view) {
    return op == os::FsOp::OpenForWrite ? os::kErrorWriteProtect : os::kErrorSuccess;
  });
  EXPECT_FALSE(can_write_folder(dir.path()));
  EXPECT_FALSE(path_exists(marker));
}

TEST(CanWriteFolder, AMarkerNameTakenByALinkIsReplacedNotWrittenThrough) {
  test::TempDir dir;
  test::make_dirs(dir / L"client");
  test::write_text(dir / L"outside.txt", "precious");
  if (!test::make_link(dir / L"client/.crvn_write_test", dir / L"outside.txt", /*directory=*/false)) {
    GTEST_SKIP() << "this system makes no symbolic link to a file";
  }
  EXPECT_TRUE(can_write_folder(dir / L"client"));
  EXPECT_EQ(test::read_text(dir / L"outside.txt"), "precious");
  EXPECT_FALSE(os::file_info(dir / L"client/.crvn_write_test"));
}

}  // namespace
}  // namespace corvane
