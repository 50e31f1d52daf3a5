#pragma once
#include "ui/win32/webview2.h"

// Answers the view's requests for the page's origin from the executable's resources.
namespace corvane::win32 {

// The WebResourceRequested handler's work for one request: reads its address and sets the
// response that locate_resource gives: 200 with a memory stream holding a copy of the resource
// and its Content-Type, 404 "Not Found" or 500 "Missing" without content. When the request or its
// address cannot be read, no response is set and S_OK comes back (the runtime then goes on as if
// the request were not handled). Otherwise the result of put_Response (or of creating the
// response). Window thread.
HRESULT answer_resource_request(ICoreWebView2Environment* environment,
                                ICoreWebView2WebResourceRequestedEventArgs* args);

}  // namespace corvane::win32
