#pragma once
#include <map>
#include <string>
#include <vector>

#include "ui/win32/com_ptr.h"
#include "ui/win32/webview2.h"
#include "ui/win32/com_double.h"
#include "webview2_stubs.h"

// Test doubles of the WebView2 objects the host uses: they record what the host sets and keep the
// handlers it registers, so that a test can raise the runtime's events itself.
namespace corvane::test {

using win32::ComPtr;

class FakeSettings final : public ComDouble<ICoreWebView2Settings4Stub> {
 public:
  // A runtime of the first releases offers the settings interface alone.
  explicit FakeSettings(bool newer_interfaces = true)
      : ComDouble(newer_interfaces ? std::initializer_list<IID>{IID_ICoreWebView2Settings, IID_ICoreWebView2Settings2,
                                                                IID_ICoreWebView2Settings3, IID_ICoreWebView2Settings4}
                                   : std::initializer_list<IID>{IID_ICoreWebView2Settings}) {}
  std::map<std::string, BOOL> values;  // every put_ by name

  HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL v) override { return set("ContextMenus", v); }
  HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL v) override { return set("DevTools", v); }
  HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL v) override { return set("StatusBar", v); }
  HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL v) override { return set("ZoomControl", v); }
  HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL v) override { return set("AcceleratorKeys", v); }
  HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL v) override { return set("Script", v); }
  HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL v) override { return set("WebMessage", v); }
  HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL v) override { return set("ScriptDialogs", v); }
  HRESULT STDMETHODCALLTYPE put_IsPasswordAutosaveEnabled(BOOL v) override { return set("PasswordAutosave", v); }
  HRESULT STDMETHODCALLTYPE put_IsGeneralAutofillEnabled(BOOL v) override { return set("GeneralAutofill", v); }

 private:
  HRESULT set(const char* name, BOOL v) {
    values[name] = v;
    return S_OK;
  }
};

class FakeView final : public ComDouble<ICoreWebView2_4Stub> {
 public:
  // A runtime of the first releases offers the view interface alone (no DownloadStarting).
  explicit FakeView(bool newer_interfaces = true)
      : ComDouble(newer_interfaces ? std::initializer_list<IID>{IID_ICoreWebView2, IID_ICoreWebView2_2,
                                                                IID_ICoreWebView2_3, IID_ICoreWebView2_4}
                                   : std::initializer_list<IID>{IID_ICoreWebView2}),
        settings(new FakeSettings(newer_interfaces)) {}
  ComPtr<FakeSettings> settings;
  std::vector<std::pair<std::wstring, COREWEBVIEW2_WEB_RESOURCE_CONTEXT>> filters;
  std::vector<std::wstring> navigations;
  std::vector<std::wstring> posted_json;
  ComPtr<ICoreWebView2WebResourceRequestedEventHandler> resource_handler;
  ComPtr<ICoreWebView2WebMessageReceivedEventHandler> message_handler;
  ComPtr<ICoreWebView2NewWindowRequestedEventHandler> new_window_handler;
  ComPtr<ICoreWebView2NavigationStartingEventHandler> navigation_handler;
  ComPtr<ICoreWebView2NavigationStartingEventHandler> frame_navigation_handler;
  ComPtr<ICoreWebView2PermissionRequestedEventHandler> permission_handler;
  ComPtr<ICoreWebView2DownloadStartingEventHandler> download_handler;
  ComPtr<ICoreWebView2ProcessFailedEventHandler> process_failed_handler;
  int reloads = 0;
  std::vector<std::wstring> scripts;  // every ExecuteScript, with its completion kept below
  ComPtr<ICoreWebView2ExecuteScriptCompletedHandler> script_done;

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** out) override {
    settings->AddRef();
    *out = settings.get();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) override {
    filters.emplace_back(uri, context);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler* h,
                                                     EventRegistrationToken* token) override {
    return keep(resource_handler, h, token);
  }
  HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* h,
                                                   EventRegistrationToken* token) override {
    return keep(message_handler, h, token);
  }
  HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* h,
                                                   EventRegistrationToken* token) override {
    return keep(new_window_handler, h, token);
  }
  HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* h,
                                                   EventRegistrationToken* token) override {
    return keep(navigation_handler, h, token);
  }
  HRESULT STDMETHODCALLTYPE add_FrameNavigationStarting(ICoreWebView2NavigationStartingEventHandler* h,
                                                        EventRegistrationToken* token) override {
    return keep(frame_navigation_handler, h, token);
  }
  HRESULT STDMETHODCALLTYPE add_PermissionRequested(ICoreWebView2PermissionRequestedEventHandler* h,
                                                    EventRegistrationToken* token) override {
    return keep(permission_handler, h, token);
  }
  HRESULT STDMETHODCALLTYPE add_DownloadStarting(ICoreWebView2DownloadStartingEventHandler* h,
                                                 EventRegistrationToken* token) override {
    return keep(download_handler, h, token);
  }
  HRESULT STDMETHODCALLTYPE add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* h,
                                              EventRegistrationToken* token) override {
    return keep(process_failed_handler, h, token);
  }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
    navigations.emplace_back(uri);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reload() override {
    ++reloads;
    return S_OK;
  }
  // As the runtime does, the completion comes later: a test calls script_done itself, or never
  // (a renderer that hangs).
  HRESULT STDMETHODCALLTYPE ExecuteScript(LPCWSTR script, ICoreWebView2ExecuteScriptCompletedHandler* done) override {
    scripts.emplace_back(script);
    script_done = ComPtr<ICoreWebView2ExecuteScriptCompletedHandler>::share(done);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR json) override {
    posted_json.emplace_back(json);
    return S_OK;
  }

 private:
  template <class H>
  HRESULT keep(ComPtr<H>& slot, H* handler, EventRegistrationToken* token) {
    if (!handler || !token) return E_POINTER;
    slot = ComPtr<H>::share(handler);
    token->value = 1;
    return S_OK;
  }
};

class FakeController final : public ComDouble<ICoreWebView2Controller3Stub> {
 public:
  // The first releases have no rasterization scale (ICoreWebView2Controller3).
  explicit FakeController(bool newer_interfaces = true)
      : ComDouble(newer_interfaces ? std::initializer_list<IID>{IID_ICoreWebView2Controller,
                                                                IID_ICoreWebView2Controller2,
                                                                IID_ICoreWebView2Controller3}
                                   : std::initializer_list<IID>{IID_ICoreWebView2Controller,
                                                                IID_ICoreWebView2Controller2}),
        view(new FakeView(newer_interfaces)) {}
  ComPtr<FakeView> view;
  double rasterization_scale = 1.0;  // the monitor's scale times the text scaling
  ComPtr<ICoreWebView2RasterizationScaleChangedEventHandler> scale_handler;
  std::vector<RECT> bounds;
  std::vector<double> zooms;
  std::vector<COREWEBVIEW2_COLOR> backgrounds;
  std::vector<COREWEBVIEW2_MOVE_FOCUS_REASON> focus_moves;
  std::vector<BOOL> visibility;  // every put_IsVisible
  int position_notices = 0;      // NotifyParentWindowPositionChanged
  int closes = 0;

  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** out) override {
    view->AddRef();
    *out = view.get();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT r) override {
    bounds.push_back(r);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ZoomFactor(double z) override {
    zooms.push_back(z);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(COREWEBVIEW2_COLOR c) override {
    backgrounds.push_back(c);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) override {
    focus_moves.push_back(reason);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL v) override {
    visibility.push_back(v);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override {
    ++position_notices;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() override {
    ++closes;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_RasterizationScale(double* out) override {
    *out = rasterization_scale;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_RasterizationScaleChanged(ICoreWebView2RasterizationScaleChangedEventHandler* h,
                                                          EventRegistrationToken* token) override {
    if (!h || !token) return E_POINTER;
    scale_handler = ComPtr<ICoreWebView2RasterizationScaleChangedEventHandler>::share(h);
    return S_OK;
  }
  // The monitor or the text size changed: the runtime's new scale, and its event.
  void change_scale(double scale) {
    rasterization_scale = scale;
    if (scale_handler) scale_handler->Invoke(this, nullptr);
  }
};

class FakeResponse final : public ComDouble<ICoreWebView2WebResourceResponseStub> {
 public:
  FakeResponse(IStream* content_in, int status_in, std::wstring reason_in, std::wstring headers_in)
      : ComDouble({IID_ICoreWebView2WebResourceResponse}),
        content(ComPtr<IStream>::share(content_in)),
        status(status_in),
        reason(std::move(reason_in)),
        headers(std::move(headers_in)) {}
  ComPtr<IStream> content;
  int status;
  std::wstring reason;
  std::wstring headers;

  // The whole content of the stream from its start; empty without one.
  std::string body() const {
    std::string bytes;
    if (!content) return bytes;
    LARGE_INTEGER zero{};
    content->Seek(zero, STREAM_SEEK_SET, nullptr);
    char buffer[65536];
    ULONG read = 0;
    while (SUCCEEDED(content->Read(buffer, sizeof buffer, &read)) && read > 0) bytes.append(buffer, read);
    return bytes;
  }
};

class FakeEnvironment final : public ComDouble<ICoreWebView2Environment5Stub> {
 public:
  // Runtimes before 1.0.992 cannot say when their browser process has exited
  // (ICoreWebView2Environment5).
  explicit FakeEnvironment(bool newer_interfaces = true)
      : ComDouble(newer_interfaces
                      ? std::initializer_list<IID>{IID_ICoreWebView2Environment, IID_ICoreWebView2Environment2,
                                                   IID_ICoreWebView2Environment3, IID_ICoreWebView2Environment4,
                                                   IID_ICoreWebView2Environment5}
                      : std::initializer_list<IID>{IID_ICoreWebView2Environment}) {}
  ComPtr<ICoreWebView2BrowserProcessExitedEventHandler> exit_handler;
  int exit_handlers_removed = 0;
  // The browser process and every process of its group have ended and let go of the user data
  // folder: the runtime raises BrowserProcessExited.
  void browser_exits() {
    if (exit_handler) exit_handler->Invoke(this, nullptr);
  }
  HRESULT STDMETHODCALLTYPE add_BrowserProcessExited(ICoreWebView2BrowserProcessExitedEventHandler* h,
                                                     EventRegistrationToken* token) override {
    if (!h || !token) return E_POINTER;
    exit_handler = ComPtr<ICoreWebView2BrowserProcessExitedEventHandler>::share(h);
    token->value = 5;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE remove_BrowserProcessExited(EventRegistrationToken token) override {
    if (token.value != 5) return E_INVALIDARG;
    ++exit_handlers_removed;
    exit_handler.reset();
    return S_OK;
  }
  // The controller the next creation hands out; each creation after the first makes a new one,
  // as the runtime does, and this then names the newest.
  ComPtr<FakeController> controller{new FakeController};
  HRESULT controller_result = S_OK;   // handed to the completion handler
  HRESULT create_call_result = S_OK;  // CreateCoreWebView2Controller's own result
  std::vector<HWND> parents;

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    parents.push_back(parent);
    if (FAILED(create_call_result)) return create_call_result;
    if (handed_out_) controller = ComPtr<FakeController>(new FakeController);
    handed_out_ = SUCCEEDED(controller_result);
    return handler->Invoke(controller_result, SUCCEEDED(controller_result) ? controller.get() : nullptr);
  }
  HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream* content, int status, LPCWSTR reason, LPCWSTR headers,
                                                      ICoreWebView2WebResourceResponse** out) override {
    *out = new FakeResponse(content, status, reason ? reason : L"", headers ? headers : L"");
    return S_OK;
  }

 private:
  bool handed_out_ = false;
};

class FakeRequestHeaders final : public ComDouble<ICoreWebView2HttpRequestHeadersStub> {
 public:
  explicit FakeRequestHeaders(std::map<std::wstring, std::wstring> values_in)
      : ComDouble({IID_ICoreWebView2HttpRequestHeaders}), values(std::move(values_in)) {}
  std::map<std::wstring, std::wstring> values;
  HRESULT STDMETHODCALLTYPE Contains(LPCWSTR name, BOOL* out) override {
    *out = values.count(name) ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* out) override {
    const auto found = values.find(name);
    if (found == values.end()) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    return co_task_copy(found->second, out);
  }
};

class FakeRequest final : public ComDouble<ICoreWebView2WebResourceRequestStub> {
 public:
  explicit FakeRequest(std::wstring uri_in, std::map<std::wstring, std::wstring> headers_in = {})
      : ComDouble({IID_ICoreWebView2WebResourceRequest}), uri(std::move(uri_in)), headers(std::move(headers_in)) {}
  std::wstring uri;
  std::map<std::wstring, std::wstring> headers;
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* out) override { return co_task_copy(uri, out); }
  HRESULT STDMETHODCALLTYPE get_Headers(ICoreWebView2HttpRequestHeaders** out) override {
    *out = new FakeRequestHeaders(headers);
    return S_OK;
  }
};

class FakeResourceArgs final : public ComDouble<ICoreWebView2WebResourceRequestedEventArgsStub> {
 public:
  // A null request makes get_Request fail.
  explicit FakeResourceArgs(FakeRequest* request_in)
      : ComDouble({IID_ICoreWebView2WebResourceRequestedEventArgs}), request(request_in) {}
  ComPtr<FakeRequest> request;
  ComPtr<ICoreWebView2WebResourceResponse> response;
  int responses_set = 0;

  HRESULT STDMETHODCALLTYPE get_Request(ICoreWebView2WebResourceRequest** out) override {
    if (!request) return E_FAIL;
    request->AddRef();
    *out = request.get();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Response(ICoreWebView2WebResourceResponse* r) override {
    ++responses_set;
    response = ComPtr<ICoreWebView2WebResourceResponse>::share(r);
    return S_OK;
  }
  FakeResponse* fake_response() const { return static_cast<FakeResponse*>(response.get()); }
};

class FakeMessageArgs final : public ComDouble<ICoreWebView2WebMessageReceivedEventArgsStub> {
 public:
  // An empty `text` with `is_string` false stands for a message that is not a string.
  FakeMessageArgs(std::wstring source_in, std::wstring text_in, bool is_string_in = true)
      : ComDouble({IID_ICoreWebView2WebMessageReceivedEventArgs}),
        source(std::move(source_in)),
        text(std::move(text_in)),
        is_string(is_string_in) {}
  std::wstring source;
  std::wstring text;
  bool is_string;
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* out) override { return co_task_copy(source, out); }
  HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* out) override {
    if (!is_string) {
      *out = nullptr;
      return E_INVALIDARG;
    }
    return co_task_copy(text, out);
  }
};

class FakeNewWindowArgs final : public ComDouble<ICoreWebView2NewWindowRequestedEventArgsStub> {
 public:
  FakeNewWindowArgs() : ComDouble({IID_ICoreWebView2NewWindowRequestedEventArgs}) {}
  std::vector<BOOL> handled;
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL v) override {
    handled.push_back(v);
    return S_OK;
  }
};

class FakeNavigationArgs final : public ComDouble<ICoreWebView2NavigationStartingEventArgsStub> {
 public:
  explicit FakeNavigationArgs(std::wstring uri_in)
      : ComDouble({IID_ICoreWebView2NavigationStartingEventArgs}), uri(std::move(uri_in)) {}
  std::wstring uri;
  std::vector<BOOL> cancel;
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* out) override { return co_task_copy(uri, out); }
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL v) override {
    cancel.push_back(v);
    return S_OK;
  }
};

class FakePermissionArgs final : public ComDouble<ICoreWebView2PermissionRequestedEventArgsStub> {
 public:
  FakePermissionArgs() : ComDouble({IID_ICoreWebView2PermissionRequestedEventArgs}) {}
  std::vector<COREWEBVIEW2_PERMISSION_STATE> states;
  HRESULT STDMETHODCALLTYPE put_State(COREWEBVIEW2_PERMISSION_STATE state) override {
    states.push_back(state);
    return S_OK;
  }
};

class FakeDownloadArgs final : public ComDouble<ICoreWebView2DownloadStartingEventArgsStub> {
 public:
  FakeDownloadArgs() : ComDouble({IID_ICoreWebView2DownloadStartingEventArgs}) {}
  std::vector<BOOL> cancel;
  std::vector<BOOL> handled;
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL v) override {
    cancel.push_back(v);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL v) override {
    handled.push_back(v);
    return S_OK;
  }
};

class FakeProcessFailedArgs final : public ComDouble<ICoreWebView2ProcessFailedEventArgsStub> {
 public:
  explicit FakeProcessFailedArgs(COREWEBVIEW2_PROCESS_FAILED_KIND kind_in)
      : ComDouble({IID_ICoreWebView2ProcessFailedEventArgs}), kind(kind_in) {}
  COREWEBVIEW2_PROCESS_FAILED_KIND kind;
  HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* out) override {
    *out = kind;
    return S_OK;
  }
};

}  // namespace corvane::test
