#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "ui/win32/com_ptr.h"
#include "ui/win32/webview2.h"

// The page's WebView2 view inside the host window: environment, controller and view created
// asynchronously on the window thread, the view locked down to an application surface showing
// only the page's own origin, the origin's requests answered from the executable's resources and
// the page's web messages handed on. Window thread only.
namespace corvane::win32 {

// The published loader function (CreateCoreWebView2EnvironmentWithOptions) or a stand-in.
using CreateEnvironmentFn = HRESULT(STDAPICALLTYPE*)(PCWSTR browser_folder, PCWSTR user_data_folder,
                                                     ICoreWebView2EnvironmentOptions* options,
                                                     ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);

struct WebViewEvents {
  // Called once: true when the view exists, is configured and navigates to the start page; false
  // when it cannot be created (no usable runtime, or any step of the creation failed).
  std::function<void(bool created)> created;
  // Every text that a document of the page's own origin posts (window.chrome.webview.postMessage).
  std::function<void(std::wstring_view text)> page_message;
};

class WebViewHost {
 public:
  WebViewHost(CreateEnvironmentFn create_environment, WebViewEvents events);
  ~WebViewHost();
  WebViewHost(const WebViewHost&) = delete;
  WebViewHost& operator=(const WebViewHost&) = delete;

  // Starts creating the view in `window` with the user data folder and the zoom factor; returns
  // at once. The result arrives through WebViewEvents::created.
  void create(HWND window, std::wstring_view user_data_folder, double zoom);
  bool exists() const { return static_cast<bool>(webview_); }
  // Hands one JSON message to the page (PostWebMessageAsJson); nothing without a view.
  void post_json(std::wstring_view json);
  // Gives the view the window's client rectangle.
  void resize();
  // Releases controller, view and environment, in that order; a creation still under way ends
  // without effect.
  void release();

 private:
  HRESULT on_environment(HRESULT result, ICoreWebView2Environment* environment);
  HRESULT on_controller(HRESULT result, ICoreWebView2Controller* controller);
  void configure();
  void report(bool created);

  CreateEnvironmentFn create_environment_;
  WebViewEvents events_;
  HWND window_ = nullptr;
  double zoom_ = 1.0;
  bool started_ = false;
  bool released_ = false;
  bool reported_ = false;
  ComPtr<ICoreWebView2Environment> environment_;
  ComPtr<ICoreWebView2Controller> controller_;
  ComPtr<ICoreWebView2> webview_;
};

// True when `address` lies in the page's own origin (kVirtualOrigin, exact case): the only
// addresses the view may show and the only documents whose messages count.
bool is_page_address(std::wstring_view address);

}  // namespace corvane::win32
