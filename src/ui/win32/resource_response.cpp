#include "ui/win32/resource_response.h"

#include <shlwapi.h>

#include <string>

#include "ui/resource_server.h"
#include "ui/win32/com_ptr.h"

namespace corvane::win32 {

HRESULT answer_resource_request(ICoreWebView2Environment* environment,
                                ICoreWebView2WebResourceRequestedEventArgs* args) {
  if (!environment || !args) return E_INVALIDARG;
  ComPtr<ICoreWebView2WebResourceRequest> request;
  if (FAILED(args->get_Request(request.put())) || !request) return S_OK;
  CoTaskString uri;
  if (FAILED(request->get_Uri(uri.put()))) return S_OK;

  const ResourceAnswer answer = locate_resource(uri.c_str());
  ComPtr<IStream> content;
  std::wstring headers;
  if (answer.status == 200) {
    // The stream holds its own copy; the resource stays untouched.
    content = ComPtr<IStream>(SHCreateMemStream(reinterpret_cast<const BYTE*>(answer.body.data()),
                                                static_cast<UINT>(answer.body.size())));
    if (!content) return E_OUTOFMEMORY;
    headers = L"Content-Type: " + std::wstring(answer.content_type);
  }
  const std::wstring reason(answer.reason.begin(), answer.reason.end());  // ASCII
  ComPtr<ICoreWebView2WebResourceResponse> response;
  const HRESULT created = environment->CreateWebResourceResponse(content.get(), answer.status, reason.c_str(),
                                                                 headers.c_str(), response.put());
  if (FAILED(created)) return created;
  return args->put_Response(response.get());
}

}  // namespace corvane::win32
