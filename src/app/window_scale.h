#pragma once
#include <cstdint>

#include "ui/ui_host.h"

// Size and place of the host window.
namespace corvane {

// The page's own layout size in CSS pixels, per run mode.
inline constexpr std::int32_t kInstallPageWidth = 1000;
inline constexpr std::int32_t kInstallPageHeight = 730;
inline constexpr std::int32_t kUninstallPageWidth = 675;
inline constexpr std::int32_t kUninstallPageHeight = 534;

struct WindowScale {
  double zoom = 1.0;        // the view's zoom factor
  std::int32_t width = 0;   // physical pixels
  std::int32_t height = 0;
};

// The page at most at 120 % and never wider or taller than 92 % of the work area, at the system
// DPI (96 = 100 %): zoom = min(1.2, fit width, fit height), size = lround(base x DPI/96 x zoom).
WindowScale compute_window_scale(const ScreenRect& work_area, std::int32_t base_width,
                                 std::int32_t base_height, std::uint32_t dpi);

// The window's rectangle, centred on the work area (integer division truncating toward zero).
ScreenRect window_placement(const ScreenRect& work_area, const WindowScale& scale);

// The zoom factor at which the page's base size fills a view of `width` x `height` physical
// pixels whose content the runtime already scales by `rasterization_scale` (the monitor's scale
// times the user's text scaling): the smaller of the two ratios, so that all of the page shows.
// 0 when the view has no area (a minimised window) or the scale is unknown.
double page_zoom(std::int32_t width, std::int32_t height, std::int32_t base_width, std::int32_t base_height,
                 double rasterization_scale);

}  // namespace corvane
