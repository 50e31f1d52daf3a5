#include "ui/embedded_resources.h"

#include "ui/asset_table.h"
#include "ui/embedded_page.h"

namespace corvane {

// Resources are named by the asset table; the page is embedded by file path, so the table
// translates the one into the other.
std::string_view load_embedded_resource(std::wstring_view name) {
  for (const AssetEntry& entry : kAssetTable) {
    if (entry.resource_name != name) continue;
    for (std::size_t i = 0; i < kEmbeddedPageCount; ++i) {
      const EmbeddedFile& file = kEmbeddedPage[i];
      if (file.path && entry.path == file.path) {
        return {file.begin, static_cast<std::size_t>(file.end - file.begin)};
      }
    }
  }
  return {};
}

}  // namespace corvane
