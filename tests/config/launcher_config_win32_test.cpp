// launcher.json that another program holds open without sharing: it is left exactly as it is, and
// the calls that would rewrite it fail without writing anything, not even the temporary file.
#include <windows.h>

#include <gtest/gtest.h>

#include "config/launcher_config.h"
#include "os/fs.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

TEST(LauncherConfigAccess, AFileHeldWithoutSharingIsNeverReplacedByDefaults) {
  test::TempDir dir;
  const std::wstring file = dir / L"launcher.json";
  const std::string saved = "{\n  \"gamePath\":\"D:\\\\Games\\\\GTA V\",\n  \"clientVersion\":\"1.0.0\",\n}\n";
  test::write_text(file, saved);
  const HANDLE held = ::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(store_game_path(dir.path(), L"C:\\Elsewhere"));
  EXPECT_FALSE(set_client_version(dir.path(), "2.0.0"));
  EXPECT_FALSE(os::file_info(dir / L"launcher.json.tmp").has_value());
  ::CloseHandle(held);
  EXPECT_EQ(test::read_text(file), saved);
  // Once it can be read again, the calls work as ever.
  EXPECT_TRUE(store_game_path(dir.path(), L"C:\\Elsewhere"));
  EXPECT_EQ(read_saved_game_path(dir.path()), "C:\\Elsewhere");
}

}  // namespace
}  // namespace corvane
