#pragma once
#include <cstddef>
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
  int status = 0;              // 200, 206, 404, 416 or 500
  std::string reason;          // "OK", "Partial Content", "Not Found", "Range Not Satisfiable" or "Missing"
  std::wstring content_type;   // the table's MIME type for 200 and 206, empty otherwise
  std::string body;            // a fresh copy of the resource's bytes (or of the range) for 200 and 206
  std::string content_range;   // the Content-Range value for 206 and 416, empty otherwise
};

// 404 "Not Found" for an address that names no table entry; 500 "Missing" for an entry whose
// resource is absent or empty; otherwise the resource: whole with 200 "OK" when `range` (the
// request's Range header, empty without one) asks for no single byte range; the bytes asked for
// with 206 "Partial Content" and "bytes FIRST-LAST/SIZE" when it does (the media player fetches
// the video, and seeks in it, that way); 416 "Range Not Satisfiable" with "bytes */SIZE" when the
// range starts past the end.
ResourceResponse serve_resource(std::wstring_view address, std::wstring_view range = {});

// How a Range header applies to a resource of `size` bytes: a single range "bytes=FIRST-LAST",
// "bytes=FIRST-" or "bytes=-SUFFIX" (the last ends at the resource's end) is that part; several
// ranges, another unit or a malformed header are ignored (Whole), as HTTP allows.
struct ByteRange {
  enum class Kind { Whole, Part, Unsatisfiable } kind = Kind::Whole;
  std::size_t first = 0;  // for Part: the first and the last byte, both included
  std::size_t last = 0;
};
ByteRange resolve_byte_range(std::wstring_view range, std::size_t size);

// The same answer without a copy: `body` views the embedded resource itself, which lives as long
// as the process. For a host whose response object makes its own copy.
struct ResourceAnswer {
  int status = 0;
  std::string_view reason;
  std::wstring_view content_type;
  std::string_view body;
  std::string content_range;
};
ResourceAnswer locate_resource(std::wstring_view address, std::wstring_view range = {});

}  // namespace corvane
