#include "ui/resource_server.h"

#include "ui/asset_table.h"
#include "ui/embedded_resources.h"

namespace corvane {

ResourceResponse serve_resource(std::wstring_view address) {
  ResourceResponse response;
  const AssetEntry* entry = find_asset_entry(address);
  if (!entry) {
    response.status = 404;
    response.reason = "Not Found";
    return response;
  }
  const std::string_view bytes = load_embedded_resource(entry->resource_name);
  if (bytes.empty()) {
    response.status = 500;
    response.reason = "Missing";
    return response;
  }
  response.status = 200;
  response.reason = "OK";
  response.content_type = std::wstring(entry->mime_type);
  response.body.assign(bytes.data(), bytes.size());
  return response;
}

}  // namespace corvane
