#include "app/window_scale.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(WindowScale, FullHdAt96DpiShowsThePageAt120Percent) {
  const ScreenRect work{0, 0, 1920, 1040};
  const WindowScale install = compute_window_scale(work, kInstallPageWidth, kInstallPageHeight, 96);
  EXPECT_DOUBLE_EQ(install.zoom, 1.2);
  EXPECT_EQ(install.width, 1200);
  EXPECT_EQ(install.height, 876);
  const WindowScale uninstall = compute_window_scale(work, kUninstallPageWidth, kUninstallPageHeight, 96);
  EXPECT_EQ(uninstall.width, 810);
  EXPECT_EQ(uninstall.height, 641);
  // Centred with truncating division: (1920 - 1200) / 2, (1040 - 876) / 2.
  const ScreenRect rect = window_placement(work, install);
  EXPECT_EQ(rect.left, 360);
  EXPECT_EQ(rect.top, 82);
  EXPECT_EQ(rect.right - rect.left, 1200);
  EXPECT_EQ(rect.bottom - rect.top, 876);
}

TEST(WindowScale, ASmallWorkAreaShrinksThePageToFit) {
  const WindowScale s = compute_window_scale({0, 0, 1366, 728}, kInstallPageWidth, kInstallPageHeight, 96);
  EXPECT_NEAR(s.zoom, 0.92 * 728 / 730, 1e-12);
  EXPECT_EQ(s.width, 917);
  EXPECT_EQ(s.height, 670);
}

TEST(WindowScale, HighDpiScalesThePhysicalSize) {
  const ScreenRect work{0, 40, 2560, 1440};  // 1400 high, below a top task bar
  const WindowScale s = compute_window_scale(work, kInstallPageWidth, kInstallPageHeight, 144);
  EXPECT_NEAR(s.zoom, 0.92 * 1400 / 1095, 1e-12);
  EXPECT_EQ(s.width, 1764);
  EXPECT_EQ(s.height, 1288);
  const ScreenRect rect = window_placement(work, s);
  EXPECT_EQ(rect.left, (2560 - 1764) / 2);
  EXPECT_EQ(rect.top, 40 + (1400 - 1288) / 2);
}

TEST(WindowScale, AWorkAreaNarrowerThanTheWindowCentresTowardZero) {
  // A window wider than its work area: (100 - 201) / 2 = -101 / 2 truncates to -50, not -51.
  const ScreenRect work{10, 0, 110, 100};
  WindowScale wide;
  wide.width = 201;
  wide.height = 100;
  const ScreenRect rect = window_placement(work, wide);
  EXPECT_EQ(rect.left, 10 - 50);
}

}  // namespace
}  // namespace corvane
