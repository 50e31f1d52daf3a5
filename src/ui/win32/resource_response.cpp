#include "ui/win32/resource_response.h"

#include <shlwapi.h>

#include "ui/resource_server.h"
#include "ui/win32/com_ptr.h"
#include "ui/win32/webview_host.h"

namespace corvane::win32 {

namespace {

// The request's Range header, empty without one.
std::wstring range_of(ICoreWebView2WebResourceRequest& request) {
  ComPtr<ICoreWebView2HttpRequestHeaders> headers;
  BOOL present = FALSE;
  if (FAILED(request.get_Headers(headers.put())) || !headers || FAILED(headers->Contains(L"Range", &present)) ||
      !present) {
    return {};
  }
  CoTaskString value;
  if (FAILED(headers->GetHeader(L"Range", value.put())) || value.is_null()) return {};
  return value.c_str();
}

}  // namespace

std::wstring response_headers(std::wstring_view content_type, std::string_view content_range) {
  std::wstring headers;
  if (!content_type.empty()) headers = L"Content-Type: " + std::wstring(content_type) + L"\r\n";
  if (!content_range.empty()) {
    headers += L"Content-Range: ";
    headers.append(content_range.begin(), content_range.end());  // ASCII
    headers += L"\r\n";
  }
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

  ResourceAnswer answer{403, "Forbidden", {}, {}, {}};
  if (is_page_address(uri.c_str())) answer = locate_resource(uri.c_str(), range_of(*request.get()));
  ComPtr<IStream> content;
  if (answer.status == 200 || answer.status == 206) {
    // The stream holds its own copy; the resource stays untouched.
    content = ComPtr<IStream>(SHCreateMemStream(reinterpret_cast<const BYTE*>(answer.body.data()),
                                                static_cast<UINT>(answer.body.size())));
    if (!content) return E_OUTOFMEMORY;
  }
  const std::wstring headers = response_headers(answer.content_type, answer.content_range);
  const std::wstring reason(answer.reason.begin(), answer.reason.end());  // ASCII
  ComPtr<ICoreWebView2WebResourceResponse> response;
  const HRESULT created = environment->CreateWebResourceResponse(content.get(), answer.status, reason.c_str(),
                                                                 headers.c_str(), response.put());
  if (FAILED(created)) return created;
  return args->put_Response(response.get());
}

}  // namespace corvane::win32
