#include "ui/client_dir.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace corvane {
namespace {

TEST(ClientDir, NeedsTheClientOrItsUninstaller) {
  test::TempDir dir;
  EXPECT_FALSE(is_client_dir(L""));
  EXPECT_FALSE(is_client_dir(dir.path()));
  test::write_text(dir / L"uninstall.exe", "");
  EXPECT_TRUE(is_client_dir(dir.path()));
}

}  // namespace
}  // namespace corvane
