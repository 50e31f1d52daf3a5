#pragma once
#include <string>
#include <string_view>

// Answers the web view's requests for the virtual origin from the embedded resources. The
// platform host turns the answer into its own response object.
namespace corvane {

// The Content-Security-Policy header of every answer: the page loads its script, styles, fonts,
// images and video from its own origin and may fetch from nowhere else; no inline script or
// style sheet, no eval, no plug-ins, frames, workers, form targets or <base>, and no other page
// may frame it. (Styles that the page's script sets through the DOM are not inline style sheets.)
inline constexpr std::string_view kContentSecurityPolicy =
    "default-src 'self'; object-src 'none'; frame-src 'none'; worker-src 'none'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'none'";

struct ResourceResponse {
  int status = 0;              // 200, 404 or 500
  std::string reason;          // "OK", "Not Found" or "Missing"
  std::wstring content_type;   // the table's MIME type for 200, empty otherwise
  std::string body;            // a fresh copy of the resource's bytes for 200, empty otherwise
};

// 404 "Not Found" for an address that names no table entry; 500 "Missing" for an entry whose
// resource is absent or empty; otherwise 200 "OK" with the whole resource (no ranges).
ResourceResponse serve_resource(std::wstring_view address);

// The same answer without a copy: `body` views the embedded resource itself, which lives as long
// as the process. For a host whose response object makes its own copy.
struct ResourceAnswer {
  int status = 0;
  std::string_view reason;
  std::wstring_view content_type;
  std::string_view body;
};
ResourceAnswer locate_resource(std::wstring_view address);

}  // namespace corvane
