#pragma once
#include <string>
#include <string_view>

#include "ui/win32/webview2.h"

// Answers the view's requests: the page's origin from the executable's resources, every other
// address with an error.
namespace corvane::win32 {

// The WebResourceRequested handler's work for one request. An address of the page's origin gets
// the answer of locate_resource for it and its Range header: 200 with a memory stream holding a
// copy of the resource and its Content-Type, 206 with a copy of the range asked for and its
// Content-Range as well, 416 with Content-Range only, 404 "Not Found" or 500 "Missing" without
// content; any other address gets 403
// "Forbidden" without content, so that nothing the view asks for reaches a network. Every answer
// carries the page's Content-Security-Policy. When the request or its address cannot be read, no
// response is set and S_OK comes back (the runtime then goes on as if the request were not
// handled). Otherwise the result of put_Response (or of creating the response). Window thread.
HRESULT answer_resource_request(ICoreWebView2Environment* environment,
                                ICoreWebView2WebResourceRequestedEventArgs* args);

// The raw header text of an answer: "Content-Type: <type>" when `content_type` is not empty,
// "Content-Range: <range>" when `content_range` is not empty, then
// "Content-Security-Policy: <policy>", one header a line ("\r\n" between them, none at the end).
std::wstring response_headers(std::wstring_view content_type, std::string_view content_range = {});

}  // namespace corvane::win32
