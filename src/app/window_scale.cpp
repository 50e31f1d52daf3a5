#include "app/window_scale.h"

#include <algorithm>
#include <cmath>

namespace corvane {

WindowScale compute_window_scale(const ScreenRect& work_area, std::int32_t base_width,
                                 std::int32_t base_height, std::uint32_t dpi) {
  // A system never reports 0 DPI; should a host do so, the page is laid out at 100 %.
  const double dpi_scale = (dpi == 0 ? 96u : dpi) / 96.0;
  const double fit_w = (static_cast<double>(work_area.right) - work_area.left) * 0.92 / (base_width * dpi_scale);
  const double fit_h = (static_cast<double>(work_area.bottom) - work_area.top) * 0.92 / (base_height * dpi_scale);
  WindowScale scale;
  scale.zoom = std::min({1.2, fit_w, fit_h});
  scale.width = static_cast<std::int32_t>(std::lround(base_width * dpi_scale * scale.zoom));
  scale.height = static_cast<std::int32_t>(std::lround(base_height * dpi_scale * scale.zoom));
  return scale;
}

ScreenRect window_placement(const ScreenRect& work_area, const WindowScale& scale) {
  const std::int32_t work_width = work_area.right - work_area.left;
  const std::int32_t work_height = work_area.bottom - work_area.top;
  ScreenRect rect;
  rect.left = work_area.left + (work_width - scale.width) / 2;
  rect.top = work_area.top + (work_height - scale.height) / 2;
  rect.right = rect.left + scale.width;
  rect.bottom = rect.top + scale.height;
  return rect;
}

double page_zoom(std::int32_t width, std::int32_t height, std::int32_t base_width, std::int32_t base_height,
                 double rasterization_scale) {
  if (width <= 0 || height <= 0 || base_width <= 0 || base_height <= 0 || !(rasterization_scale > 0)) return 0;
  return std::min(width / (base_width * rasterization_scale), height / (base_height * rasterization_scale));
}

}  // namespace corvane
