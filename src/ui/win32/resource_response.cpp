#include "ui/win32/resource_response.h"

#include <shlwapi.h>

#include "ui/resource_server.h"
#include "ui/win32/com_ptr.h"
#include "ui/win32/webview_host.h"

namespace corvane::win32 {

std::wstring response_headers(std::wstring_view content_type) {
  std::wstring headers;
  if (!content_type.empty()) headers = L"Content-Type: " + std::wstring(content_type) + L"\r\n";
  headers += L"Content-Security-Policy: ";
  headers.append(kContentSecurityPolicy.begin(), kContentSecurityPolicy.end());  // ASCII
  return headers;
}

HRESULT answer_resource_request(ICoreWebView2Environment* environment,
                                ICoreWebView2WebResourceRequestedEventArgs* args) {
  if (!environment || !args) return E_INVALIDARG;
  ComPtr<ICoreWebView2WebResourceRequest> request;
  if (FAILED(args->get_Request(request.put())) || !request) return S_OK;
  CoTaskString uri;
  if (FAILED(request->get_Uri(uri.put()))) return S_OK;

  ResourceAnswer answer{403, "Forbidden", {}, {}};
  if (is_page_address(uri.c_str())) answer = locate_resource(uri.c_str());
  ComPtr<IStream> content;
  if (answer.status == 200) {
    // The stream holds its own copy; the resource stays untouched.
    content = ComPtr<IStream>(SHCreateMemStream(reinterpret_cast<const BYTE*>(answer.body.data()),
                                                static_cast<UINT>(answer.body.size())));
    if (!content) return E_OUTOFMEMORY;
  }
  const std::wstring headers = response_headers(answer.content_type);
  const std::wstring reason(answer.reason.begin(), answer.reason.end());  // ASCII
  ComPtr<ICoreWebView2WebResourceResponse> response;
  const HRESULT created = environment->CreateWebResourceResponse(content.get(), answer.status, reason.c_str(),
                                                                 headers.c_str(), response.put());
  if (FAILED(created)) return created;
  return args->put_Response(response.get());
}

}  // namespace corvane::win32
