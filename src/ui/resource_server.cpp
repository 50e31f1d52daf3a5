#include "ui/resource_server.h"

#include "ui/asset_table.h"
#include "ui/embedded_resources.h"

namespace corvane {

ResourceAnswer locate_resource(std::wstring_view address) {
  const AssetEntry* entry = find_asset_entry(address);
  if (!entry) return {404, "Not Found", {}, {}};
  const std::string_view bytes = load_embedded_resource(entry->resource_name);
  if (bytes.empty()) return {500, "Missing", {}, {}};
  return {200, "OK", entry->mime_type, bytes};
}

ResourceResponse serve_resource(std::wstring_view address) {
  const ResourceAnswer answer = locate_resource(address);
  ResourceResponse response;
  response.status = answer.status;
  response.reason = std::string(answer.reason);
  response.content_type = std::wstring(answer.content_type);
  response.body = std::string(answer.body);
  return response;
}

}  // namespace corvane
