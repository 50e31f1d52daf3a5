#include "ui/asset_table.h"

namespace corvane {

const std::array<AssetEntry, kAssetCount> kAssetTable = {{
    {L"index.html", L"UI_INDEX", L"text/html; charset=utf-8"},
    {L"app.css", L"UI_CSS", L"text/css; charset=utf-8"},
    {L"app.js", L"UI_JS", L"text/javascript; charset=utf-8"},
    {L"videos/hero.mp4", L"UI_VIDEO_HERO", L"video/mp4"},
    {L"images/hero.jpg", L"UI_IMG_HERO", L"image/jpeg"},
    {L"images/logo.svg", L"UI_IMG_LOGO", L"image/svg+xml"},
    {L"images/close.svg", L"UI_IMG_CLOSE", L"image/svg+xml"},
    {L"images/minimize.svg", L"UI_IMG_MINIMIZE", L"image/svg+xml"},
    {L"images/edit.svg", L"UI_IMG_EDIT", L"image/svg+xml"},
    {L"images/check.svg", L"UI_IMG_CHECK", L"image/svg+xml"},
    {L"images/download.svg", L"UI_IMG_DOWNLOAD", L"image/svg+xml"},
    {L"images/ring-1.svg", L"UI_IMG_RING_1", L"image/svg+xml"},
    {L"images/ring-2.svg", L"UI_IMG_RING_2", L"image/svg+xml"},
    {L"images/ring-3.svg", L"UI_IMG_RING_3", L"image/svg+xml"},
    {L"images/ring-1-green.svg", L"UI_IMG_RING_1_GREEN", L"image/svg+xml"},
    {L"images/ring-2-green.svg", L"UI_IMG_RING_2_GREEN", L"image/svg+xml"},
    {L"images/ring-3-green.svg", L"UI_IMG_RING_3_GREEN", L"image/svg+xml"},
    {L"fonts/onest-cyrillic-400.woff2", L"UI_FONT_ONEST_CYRILLIC_400", L"font/woff2"},
    {L"fonts/onest-latin-400.woff2", L"UI_FONT_ONEST_LATIN_400", L"font/woff2"},
    {L"fonts/onest-cyrillic-500.woff2", L"UI_FONT_ONEST_CYRILLIC_500", L"font/woff2"},
    {L"fonts/onest-latin-500.woff2", L"UI_FONT_ONEST_LATIN_500", L"font/woff2"},
    {L"fonts/onest-cyrillic-600.woff2", L"UI_FONT_ONEST_CYRILLIC_600", L"font/woff2"},
    {L"fonts/onest-latin-600.woff2", L"UI_FONT_ONEST_LATIN_600", L"font/woff2"},
}};

const AssetEntry* find_asset_entry(std::wstring_view address) {
  if (address.substr(0, kVirtualOrigin.size()) != kVirtualOrigin) return nullptr;
  std::wstring_view rest = address.substr(kVirtualOrigin.size());
  rest = rest.substr(0, rest.find_first_of(L"?#"));
  for (const AssetEntry& entry : kAssetTable) {
    if (entry.path == rest) return &entry;
  }
  return nullptr;
}

}  // namespace corvane
