#include "ui/resource_server.h"

#include <algorithm>
#include <cwctype>
#include <optional>
#include <string>
#include <utility>

#include "ui/asset_table.h"
#include "ui/embedded_resources.h"

namespace corvane {

namespace {

// Decimal digits as a number; none when empty, not all digits, or too large.
std::optional<std::size_t> parse_count(std::wstring_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::size_t value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + static_cast<std::size_t>(c - L'0');
  }
  return value;
}

std::wstring_view trimmed(std::wstring_view text) {
  while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

ByteRange resolve_byte_range(std::wstring_view range, std::size_t size) {
  using Kind = ByteRange::Kind;
  range = trimmed(range);
  constexpr std::wstring_view unit = L"bytes=";
  if (range.size() < unit.size() || range.find(L',') != std::wstring_view::npos) return {};
  for (std::size_t i = 0; i < unit.size(); ++i) {
    if (std::towlower(range[i]) != unit[i]) return {};
  }
  range = trimmed(range.substr(unit.size()));
  const std::size_t dash = range.find(L'-');
  if (dash == std::wstring_view::npos) return {};
  const std::optional<std::size_t> first = parse_count(trimmed(range.substr(0, dash)));
  const std::wstring_view last_text = trimmed(range.substr(dash + 1));
  const std::optional<std::size_t> last = parse_count(last_text);
  if (!first) {
    // "-SUFFIX": the last SUFFIX bytes; none of them cannot be served.
    if (!last) return {};
    if (*last == 0 || size == 0) return {Kind::Unsatisfiable};
    return {Kind::Part, *last >= size ? 0 : size - *last, size - 1};
  }
  if (!last_text.empty() && (!last || *last < *first)) return {};
  if (*first >= size) return {Kind::Unsatisfiable};
  return {Kind::Part, *first, last ? std::min(*last, size - 1) : size - 1};
}

ResourceAnswer locate_resource(std::wstring_view address, std::wstring_view range) {
  const AssetEntry* entry = find_asset_entry(address);
  if (!entry) return {404, "Not Found", {}, {}, {}};
  const std::string_view bytes = load_embedded_resource(entry->resource_name);
  if (bytes.empty()) return {500, "Missing", {}, {}, {}};
  const ByteRange part = resolve_byte_range(range, bytes.size());
  switch (part.kind) {
    case ByteRange::Kind::Whole:
      break;
    case ByteRange::Kind::Part:
      return {206, "Partial Content", entry->mime_type, bytes.substr(part.first, part.last - part.first + 1),
              "bytes " + std::to_string(part.first) + "-" + std::to_string(part.last) + "/" +
                  std::to_string(bytes.size())};
    case ByteRange::Kind::Unsatisfiable:
      return {416, "Range Not Satisfiable", {}, {}, "bytes */" + std::to_string(bytes.size())};
  }
  return {200, "OK", entry->mime_type, bytes, {}};
}

ResourceResponse serve_resource(std::wstring_view address, std::wstring_view range) {
  ResourceAnswer answer = locate_resource(address, range);
  ResourceResponse response;
  response.status = answer.status;
  response.reason = std::string(answer.reason);
  response.content_type = std::wstring(answer.content_type);
  response.body = std::string(answer.body);
  response.content_range = std::move(answer.content_range);
  return response;
}

}  // namespace corvane
