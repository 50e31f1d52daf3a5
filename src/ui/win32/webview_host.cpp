#include "ui/win32/webview_host.h"

#include <optional>
#include <utility>

#include "ui/asset_table.h"
#include "ui/win32/com_callback.h"
#include "ui/win32/resource_response.h"

namespace corvane::win32 {
namespace {

// The view's background before the page paints: the window's own RGB(13, 13, 13), opaque.
constexpr COREWEBVIEW2_COLOR kBackground{255, 13, 13, 13};

// What the loader returns when it finds no runtime at all (the published loader does the same).
const HRESULT kNoRuntime = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
// What it returns when the runtimes it finds have another processor's client only (our loader's
// kRuntimeWithoutX64).
const HRESULT kNoRuntimeForX64 = HRESULT_FROM_WIN32(ERROR_EXE_MACHINE_TYPE_MISMATCH);

ViewStatus status_of_start(HRESULT started) {
  if (started == kNoRuntime) return ViewStatus::RuntimeMissing;
  if (started == kNoRuntimeForX64) return ViewStatus::RuntimeWithoutX64;
  return ViewStatus::Failed;
}

// Cancels every navigation of the view or of one of its frames away from the page's origin:
// nothing else is ever shown, and nothing opens elsewhere either.
HRESULT keep_to_page_origin(ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
  if (!args) return E_INVALIDARG;
  CoTaskString uri;
  if (FAILED(args->get_Uri(uri.put())) || !is_page_address(uri.c_str())) return args->put_Cancel(TRUE);
  return S_OK;
}

// The page asks for no permission it needs: camera, microphone, location, notifications,
// clipboard and the rest are refused without asking the user.
HRESULT deny_permission(ICoreWebView2*, ICoreWebView2PermissionRequestedEventArgs* args) {
  return args ? args->put_State(COREWEBVIEW2_PERMISSION_STATE_DENY) : E_INVALIDARG;
}

// Nothing is ever downloaded: the download is cancelled before it starts, without the runtime's
// download bar.
HRESULT refuse_download(ICoreWebView2*, ICoreWebView2DownloadStartingEventArgs* args) {
  if (!args) return E_INVALIDARG;
  const HRESULT cancelled = args->put_Cancel(TRUE);
  args->put_Handled(TRUE);
  return cancelled;
}

// What a process failure of `kind` means for the page; nothing for the helper processes (GPU,
// utility, a subframe's renderer), which the runtime replaces by itself.
std::optional<ViewFailure> failure_of(COREWEBVIEW2_PROCESS_FAILED_KIND kind) {
  switch (kind) {
    case COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED:
      return ViewFailure::ViewGone;
    case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED:
      return ViewFailure::RendererExited;
    case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE:
      return ViewFailure::Unresponsive;
    default:
      return std::nullopt;
  }
}

}  // namespace

bool is_page_address(std::wstring_view address) {
  return address.substr(0, kVirtualOrigin.size()) == kVirtualOrigin;
}

WebViewHost::WebViewHost(CreateEnvironmentFn create_environment, WebViewEvents events)
    : create_environment_(create_environment), events_(std::move(events)) {}

WebViewHost::~WebViewHost() {
  release();
  // The runtime must not call into a host that is gone.
  stop_hearing_exit(retiring_, retiring_token_);
}

void WebViewHost::stop_hearing_exit(ComPtr<ICoreWebView2Environment>& environment, EventRegistrationToken token) {
  if (!environment) return;
  if (auto environment5 = environment.query<ICoreWebView2Environment5>(IID_ICoreWebView2Environment5)) {
    environment5->remove_BrowserProcessExited(token);
  }
  environment.reset();
}

void WebViewHost::create(HWND window, std::wstring_view user_data_folder, double zoom) {
  if (started_) return;
  started_ = true;
  reporting_ = true;
  const unsigned generation = ++generation_;
  window_ = window;
  zoom_ = zoom;
  user_data_folder_ = std::wstring(user_data_folder);
  // The old browser process still holds the user data folder: a new environment on it now would
  // fail or attach to the dying process.
  if (retiring_ && retiring_running_) {
    creation_waits_ = true;
    return;
  }
  start(generation);
}

void WebViewHost::start(unsigned generation) {
  auto handler = make_callback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
      IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
      [this, generation](HRESULT result, ICoreWebView2Environment* environment) {
        return on_environment(generation, result, environment);
      });
  const HRESULT started = create_environment_
                              ? create_environment_(nullptr, user_data_folder_.c_str(), nullptr, handler.get())
                              : E_NOTIMPL;
  if (FAILED(started)) {
    report(generation, {status_of_start(started), static_cast<std::uint32_t>(started)});
  }
}

HRESULT WebViewHost::on_browser_exited(ICoreWebView2Environment* environment) {
  if (environment && environment == environment_.get()) browser_running_ = false;
  if (!environment || environment != retiring_.get() || !retiring_running_) return S_OK;
  // The environment stays referenced until the next release: this runs inside its own event.
  retiring_running_ = false;
  if (std::exchange(creation_waits_, false)) start(generation_);
  return S_OK;
}

HRESULT WebViewHost::on_environment(unsigned generation, HRESULT result, ICoreWebView2Environment* environment) {
  if (generation != generation_) return S_OK;  // a released creation
  if (FAILED(result) || !environment) {
    report(generation, {ViewStatus::Failed, static_cast<std::uint32_t>(FAILED(result) ? result : E_POINTER)});
    return S_OK;
  }
  environment_ = ComPtr<ICoreWebView2Environment>::share(environment);
  // Runtimes from 1.0.992 on say when the browser process has exited and let go of the user
  // data folder; a view made anew waits for that.
  browser_running_ = false;
  if (auto environment5 = environment_.query<ICoreWebView2Environment5>(IID_ICoreWebView2Environment5)) {
    auto exited = make_callback<ICoreWebView2BrowserProcessExitedEventHandler>(
        IID_ICoreWebView2BrowserProcessExitedEventHandler,
        [this](ICoreWebView2Environment* sender, ICoreWebView2BrowserProcessExitedEventArgs*) {
          return on_browser_exited(sender);
        });
    browser_running_ = SUCCEEDED(environment5->add_BrowserProcessExited(exited.get(), &exit_token_));
  }
  auto handler = make_callback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
      IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
      [this, generation](HRESULT done, ICoreWebView2Controller* controller) {
        return on_controller(generation, done, controller);
      });
  const HRESULT asked = environment_->CreateCoreWebView2Controller(window_, handler.get());
  if (FAILED(asked)) report(generation, {ViewStatus::Failed, static_cast<std::uint32_t>(asked)});
  return asked;
}

HRESULT WebViewHost::on_controller(unsigned generation, HRESULT result, ICoreWebView2Controller* controller) {
  if (generation != generation_) return S_OK;
  if (FAILED(result) || !controller) {
    report(generation, {ViewStatus::Failed, static_cast<std::uint32_t>(FAILED(result) ? result : E_POINTER)});
    return S_OK;
  }
  controller_ = ComPtr<ICoreWebView2Controller>::share(controller);
  const HRESULT got = controller_->get_CoreWebView2(webview_.put());
  if (FAILED(got) || !webview_) {
    webview_.reset();
    report(generation, {ViewStatus::Failed, static_cast<std::uint32_t>(FAILED(got) ? got : E_POINTER)});
    return S_OK;
  }
  // A view made while the window is minimised starts hidden, as the window's view would be.
  visible_ = !(window_ && IsIconic(window_));
  if (!visible_) controller_->put_IsVisible(FALSE);
  applied_zoom_ = 0;
  resize();
  configure();
  report(generation, {ViewStatus::Created, 0});
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
    // alert(), confirm() and prompt() show nothing (and answer as if cancelled): the page has
    // its own screens, and nothing else may put a dialog in front of the user.
    settings->put_AreDefaultScriptDialogsEnabled(FALSE);
    if (auto settings3 = settings.query<ICoreWebView2Settings3>(IID_ICoreWebView2Settings3)) {
      settings3->put_AreBrowserAcceleratorKeysEnabled(FALSE);
    }
    // Nothing typed into the page is remembered in the user data folder.
    if (auto settings4 = settings.query<ICoreWebView2Settings4>(IID_ICoreWebView2Settings4)) {
      settings4->put_IsPasswordAutosaveEnabled(FALSE);
      settings4->put_IsGeneralAutofillEnabled(FALSE);
    }
  }
  if (auto controller2 = controller_.query<ICoreWebView2Controller2>(IID_ICoreWebView2Controller2)) {
    controller2->put_DefaultBackgroundColor(kBackground);
  }
  // The rasterization scale (the monitor's scale times the user's text scaling) changes with the
  // monitor and the text size setting; the page is fitted to the window again each time.
  EventRegistrationToken token{};
  if (auto controller3 = controller_.query<ICoreWebView2Controller3>(IID_ICoreWebView2Controller3)) {
    auto scale = make_callback<ICoreWebView2RasterizationScaleChangedEventHandler>(
        IID_ICoreWebView2RasterizationScaleChangedEventHandler, [this](ICoreWebView2Controller*, IUnknown*) {
          apply_zoom();
          return S_OK;
        });
    controller3->add_RasterizationScaleChanged(scale.get(), &token);
  }

  // Every request of the view comes to the handler: the page's origin is answered from the
  // resources, every other address with an error, so nothing reaches a network.
  webview_->AddWebResourceRequestedFilter(L"*", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);

  // The registration tokens are not kept: the handlers stay for the life of the view.
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

  auto permissions = make_callback<ICoreWebView2PermissionRequestedEventHandler>(
      IID_ICoreWebView2PermissionRequestedEventHandler, &deny_permission);
  webview_->add_PermissionRequested(permissions.get(), &token);

  if (auto webview4 = webview_.query<ICoreWebView2_4>(IID_ICoreWebView2_4)) {
    auto downloads = make_callback<ICoreWebView2DownloadStartingEventHandler>(
        IID_ICoreWebView2DownloadStartingEventHandler, &refuse_download);
    webview4->add_DownloadStarting(downloads.get(), &token);
  }

  auto failures = make_callback<ICoreWebView2ProcessFailedEventHandler>(
      IID_ICoreWebView2ProcessFailedEventHandler,
      [this](ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs* args) -> HRESULT {
        COREWEBVIEW2_PROCESS_FAILED_KIND kind{};
        if (!args || FAILED(args->get_ProcessFailedKind(&kind))) return S_OK;
        const std::optional<ViewFailure> failure = failure_of(kind);
        if (failure && events_.failed) events_.failed(*failure);
        return S_OK;
      });
  webview_->add_ProcessFailed(failures.get(), &token);

  const std::wstring start = std::wstring(kVirtualOrigin) + L"index.html";
  webview_->Navigate(start.c_str());
}

void WebViewHost::report(unsigned generation, const ViewResult& result) {
  if (generation != generation_ || !reporting_) return;
  reporting_ = false;
  if (events_.created) events_.created(result);
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
  apply_zoom();
}

void WebViewHost::apply_zoom() {
  if (!controller_) return;
  RECT client{};
  if (events_.zoom_for && window_ && GetClientRect(window_, &client)) {
    double scale = 0;
    auto controller3 = controller_.query<ICoreWebView2Controller3>(IID_ICoreWebView2Controller3);
    if (!controller3 || FAILED(controller3->get_RasterizationScale(&scale)) || !(scale > 0)) {
      // An older runtime scales by the monitor's DPI alone.
      const UINT dpi = GetDpiForWindow(window_);
      scale = (dpi ? dpi : 96) / 96.0;
    }
    zoom_ = events_.zoom_for(client.right - client.left, client.bottom - client.top, scale);
  }
  if (zoom_ > 0 && zoom_ != applied_zoom_) {
    applied_zoom_ = zoom_;
    controller_->put_ZoomFactor(zoom_);
  }
}

void WebViewHost::set_zoom(double zoom) {
  zoom_ = zoom;
  apply_zoom();
}

bool WebViewHost::reload() { return webview_ && SUCCEEDED(webview_->Reload()); }

void WebViewHost::ping() {
  if (!webview_) return;
  const unsigned generation = generation_;
  auto done = make_callback<ICoreWebView2ExecuteScriptCompletedHandler>(
      IID_ICoreWebView2ExecuteScriptCompletedHandler, [this, generation](HRESULT result, LPCWSTR) {
        // A renderer that hangs runs no script, so any completion of this view's script is an answer.
        if (generation == generation_ && SUCCEEDED(result) && events_.answered) events_.answered();
        return S_OK;
      });
  webview_->ExecuteScript(L"0", done.get());
}

void WebViewHost::focus() {
  if (controller_) controller_->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
}

void WebViewHost::notify_moved() {
  if (controller_) controller_->NotifyParentWindowPositionChanged();
}

void WebViewHost::set_visible(bool visible) {
  if (!controller_ || visible == visible_) return;
  visible_ = visible;
  controller_->put_IsVisible(visible ? TRUE : FALSE);
}

void WebViewHost::release() {
  ++generation_;  // callbacks of a creation under way now find nothing to do
  started_ = false;
  reporting_ = false;
  // Closing ends the view's browser processes now (when no other view shares them), not whenever
  // the runtime drops its last reference.
  if (controller_) controller_->Close();
  controller_.reset();
  webview_.reset();
  // Until its browser process has exited, the environment is kept to hear of it.
  if (environment_ && browser_running_) {
    stop_hearing_exit(retiring_, retiring_token_);  // an older one is given up on
    retiring_ = std::move(environment_);
    retiring_token_ = exit_token_;
    retiring_running_ = true;
  }
  stop_hearing_exit(environment_, exit_token_);
  browser_running_ = false;
  creation_waits_ = false;
}

}  // namespace corvane::win32
