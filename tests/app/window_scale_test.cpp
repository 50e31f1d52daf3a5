#include "app/window_scale.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(WindowScale, PageSizeFollowsDpiAndWorkArea) {
  const ScreenRect full_hd{0, 0, 1920, 1040};
  const WindowScale install = compute_window_scale(full_hd, kInstallPageWidth, kInstallPageHeight, 96);
  EXPECT_DOUBLE_EQ(install.zoom, 1.2);  // at most 120 %
  EXPECT_EQ(std::pair(install.width, install.height), std::pair(1200, 876));
  const WindowScale uninstall = compute_window_scale(full_hd, kUninstallPageWidth, kUninstallPageHeight, 96);
  EXPECT_EQ(std::pair(uninstall.width, uninstall.height), std::pair(810, 641));

  const WindowScale small = compute_window_scale({0, 0, 1366, 728}, kInstallPageWidth, kInstallPageHeight, 96);
  EXPECT_NEAR(small.zoom, 0.92 * 728 / 730, 1e-12);  // 92 % of the height
  EXPECT_EQ(std::pair(small.width, small.height), std::pair(917, 670));

  const ScreenRect high_dpi{0, 40, 2560, 1440};  // 1400 high, below a top task bar
  const WindowScale big = compute_window_scale(high_dpi, kInstallPageWidth, kInstallPageHeight, 144);
  EXPECT_NEAR(big.zoom, 0.92 * 1400 / 1095, 1e-12);
  EXPECT_EQ(std::pair(big.width, big.height), std::pair(1764, 1288));

  const ScreenRect centred = window_placement(high_dpi, big);
  EXPECT_EQ(std::pair(centred.left, centred.top), std::pair(398, 96));
  EXPECT_EQ(std::pair(centred.right, centred.bottom), std::pair(398 + 1764, 96 + 1288));
  // Wider than its work area: (100 - 201) / 2 truncates toward zero, to -50.
  EXPECT_EQ(window_placement({10, 0, 110, 100}, {1.0, 201, 100}).left, 10 - 50);
}

TEST(WindowScale, PageZoomFillsTheViewAtTheRuntimesScale) {
  struct Case {
    std::int32_t width, height;
    double scale, zoom;
  };
  const Case cases[] = {
      {1200, 876, 1.0, 1.2},          // the start-up window at 100 %: the start-up zoom
      {1764, 1288, 1.5, 1.176},       // 150 %: the smaller ratio (1288 / 1095)
      {1200, 876, 1.25, 0.96},        // 125 % text at 100 %: the page shrinks to stay whole
      {0, 0, 1.0, 0},                 // minimised: no zoom
      {1200, 876, 0, 0},              // unknown scale
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(page_zoom(c.width, c.height, kInstallPageWidth, kInstallPageHeight, c.scale), c.zoom, 1e-3)
        << c.width << "x" << c.height << " at " << c.scale;
  }
}

}  // namespace
}  // namespace corvane
