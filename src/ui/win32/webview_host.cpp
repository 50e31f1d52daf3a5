#include "ui/win32/webview_host.h"

#include <utility>

#include "ui/asset_table.h"
#include "ui/win32/com_callback.h"
#include "ui/win32/resource_response.h"

namespace corvane::win32 {
namespace {

// The view's background before the page paints: the window's own RGB(13, 13, 13), opaque.
constexpr COREWEBVIEW2_COLOR kBackground{255, 13, 13, 13};

// Cancels every navigation of the view or of one of its frames away from the page's origin:
// nothing else is ever shown, and nothing opens elsewhere either.
HRESULT keep_to_page_origin(ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
  if (!args) return E_INVALIDARG;
  CoTaskString uri;
  if (FAILED(args->get_Uri(uri.put())) || !is_page_address(uri.c_str())) return args->put_Cancel(TRUE);
  return S_OK;
}

}  // namespace

bool is_page_address(std::wstring_view address) {
  return address.substr(0, kVirtualOrigin.size()) == kVirtualOrigin;
}

WebViewHost::WebViewHost(CreateEnvironmentFn create_environment, WebViewEvents events)
    : create_environment_(create_environment), events_(std::move(events)) {}

WebViewHost::~WebViewHost() { release(); }

void WebViewHost::create(HWND window, std::wstring_view user_data_folder, double zoom) {
  if (started_) return;
  started_ = true;
  window_ = window;
  zoom_ = zoom;
  const std::wstring folder(user_data_folder);
  auto handler = make_callback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
      IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
      [this](HRESULT result, ICoreWebView2Environment* environment) { return on_environment(result, environment); });
  const HRESULT started = create_environment_ ? create_environment_(nullptr, folder.c_str(), nullptr, handler.get())
                                              : E_NOTIMPL;
  if (FAILED(started)) report(false);
}

HRESULT WebViewHost::on_environment(HRESULT result, ICoreWebView2Environment* environment) {
  if (released_) return S_OK;
  if (FAILED(result) || !environment) {
    report(false);
    return S_OK;
  }
  environment_ = ComPtr<ICoreWebView2Environment>::share(environment);
  auto handler = make_callback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
      IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
      [this](HRESULT done, ICoreWebView2Controller* controller) { return on_controller(done, controller); });
  const HRESULT asked = environment_->CreateCoreWebView2Controller(window_, handler.get());
  if (FAILED(asked)) report(false);
  return asked;
}

HRESULT WebViewHost::on_controller(HRESULT result, ICoreWebView2Controller* controller) {
  if (released_) return S_OK;
  if (FAILED(result) || !controller) {
    report(false);
    return S_OK;
  }
  controller_ = ComPtr<ICoreWebView2Controller>::share(controller);
  if (FAILED(controller_->get_CoreWebView2(webview_.put())) || !webview_) {
    webview_.reset();
    report(false);
    return S_OK;
  }
  resize();
  controller_->put_ZoomFactor(zoom_);
  configure();
  report(true);
  return S_OK;
}

// Each step may fail on its own; the next one runs all the same.
void WebViewHost::configure() {
  ComPtr<ICoreWebView2Settings> settings;
  if (SUCCEEDED(webview_->get_Settings(settings.put())) && settings) {
    settings->put_AreDefaultContextMenusEnabled(FALSE);
    settings->put_AreDevToolsEnabled(FALSE);
    settings->put_IsStatusBarEnabled(FALSE);
    settings->put_IsZoomControlEnabled(FALSE);
    if (auto settings3 = settings.query<ICoreWebView2Settings3>(IID_ICoreWebView2Settings3)) {
      settings3->put_AreBrowserAcceleratorKeysEnabled(FALSE);
    }
  }
  if (auto controller2 = controller_.query<ICoreWebView2Controller2>(IID_ICoreWebView2Controller2)) {
    controller2->put_DefaultBackgroundColor(kBackground);
  }

  const std::wstring filter = std::wstring(kVirtualOrigin) + L"*";
  webview_->AddWebResourceRequestedFilter(filter.c_str(), COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);

  // The registration tokens are not kept: the handlers stay for the life of the view.
  EventRegistrationToken token{};
  auto resources = make_callback<ICoreWebView2WebResourceRequestedEventHandler>(
      IID_ICoreWebView2WebResourceRequestedEventHandler,
      [this](ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) {
        return answer_resource_request(environment_.get(), args);
      });
  webview_->add_WebResourceRequested(resources.get(), &token);

  auto messages = make_callback<ICoreWebView2WebMessageReceivedEventHandler>(
      IID_ICoreWebView2WebMessageReceivedEventHandler,
      [this](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) -> HRESULT {
        if (!args) return S_OK;
        // Only the page's own documents speak to the setup.
        CoTaskString source;
        if (FAILED(args->get_Source(source.put())) || !is_page_address(source.c_str())) return S_OK;
        CoTaskString text;
        if (FAILED(args->TryGetWebMessageAsString(text.put())) || text.is_null()) return S_OK;
        const std::wstring command(text.c_str());
        if (events_.page_message) events_.page_message(command);
        return S_OK;
      });
  webview_->add_WebMessageReceived(messages.get(), &token);

  auto new_window = make_callback<ICoreWebView2NewWindowRequestedEventHandler>(
      IID_ICoreWebView2NewWindowRequestedEventHandler,
      [](ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) -> HRESULT {
        return args ? args->put_Handled(TRUE) : E_INVALIDARG;
      });
  webview_->add_NewWindowRequested(new_window.get(), &token);

  auto navigation = make_callback<ICoreWebView2NavigationStartingEventHandler>(
      IID_ICoreWebView2NavigationStartingEventHandler, &keep_to_page_origin);
  webview_->add_NavigationStarting(navigation.get(), &token);
  webview_->add_FrameNavigationStarting(navigation.get(), &token);

  const std::wstring start = std::wstring(kVirtualOrigin) + L"index.html";
  webview_->Navigate(start.c_str());
}

void WebViewHost::report(bool created) {
  if (reported_ || released_) return;
  reported_ = true;
  if (events_.created) events_.created(created);
}

void WebViewHost::post_json(std::wstring_view json) {
  if (!webview_) return;
  const std::wstring text(json);
  webview_->PostWebMessageAsJson(text.c_str());
}

void WebViewHost::resize() {
  if (!controller_ || !window_) return;
  RECT bounds{};
  if (GetClientRect(window_, &bounds)) controller_->put_Bounds(bounds);
}

void WebViewHost::release() {
  if (started_) released_ = true;
  controller_.reset();
  webview_.reset();
  environment_.reset();
}

}  // namespace corvane::win32
