#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ui/ui_host.h"
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

// How the view's processes failed, as far as the setup has to act on it.
enum class ViewFailure {
  ViewGone,        // the browser process ended: the view is closed and has to be made anew
  RendererExited,  // the page's renderer ended; the view lives and can load the page again
  Unresponsive,    // the page's renderer does not respond (reported every few seconds)
};

struct WebViewEvents {
  // Called once per creation: Created when the view exists, is configured and navigates to the
  // start page; RuntimeMissing when the loader found no runtime; Failed with the HRESULT of the
  // step that failed otherwise.
  std::function<void(const ViewResult& result)> created;
  // Every text that a document of the page's own origin posts (window.chrome.webview.postMessage).
  std::function<void(std::wstring_view text)> page_message;
  // The view's browser process or the renderer of its page failed. Called inside the runtime's
  // event.
  std::function<void(ViewFailure failure)> failed;
  // The page answered ping(). Called inside the runtime's completion.
  std::function<void()> answered;
  // The zoom factor for a view of width x height physical pixels whose content the runtime scales
  // by the rasterization scale; asked whenever one of them changes. Without it the view keeps the
  // zoom of create() and set_zoom().
  std::function<double(std::int32_t width, std::int32_t height, double rasterization_scale)> zoom_for;
};

class WebViewHost {
 public:
  WebViewHost(CreateEnvironmentFn create_environment, WebViewEvents events);
  ~WebViewHost();
  WebViewHost(const WebViewHost&) = delete;
  WebViewHost& operator=(const WebViewHost&) = delete;

  // Starts creating the view in `window` with the user data folder and the zoom factor; returns
  // at once. The result arrives through WebViewEvents::created. A second call does nothing until
  // release() has ended the first view. While the browser process of a released view is still
  // running (it lets go of the user data folder only when it exits), the new environment is
  // created once the runtime reports that process gone; a runtime that cannot report it gets the
  // new environment at once.
  void create(HWND window, std::wstring_view user_data_folder, double zoom);
  bool exists() const { return static_cast<bool>(webview_); }
  // Hands one JSON message to the page (PostWebMessageAsJson); nothing without a view.
  void post_json(std::wstring_view json);
  // Gives the view the window's client rectangle (and, with WebViewEvents::zoom_for, the zoom
  // that fits it).
  void resize();
  // Loads the start page again (after the page's renderer died). False without a view or when
  // the view refuses.
  bool reload();
  // Runs an empty script in the page; WebViewEvents::answered follows once the page has run it.
  void ping();
  // The view's zoom factor from now on (also for a view created later).
  void set_zoom(double zoom);
  // Moves the keyboard focus into the page (MoveFocus, programmatic).
  void focus();
  // Tells the view that its window moved, so that pop-ups, the input method and accessibility
  // find it where it now is.
  void notify_moved();
  // Shows or hides the view: a hidden view (of a minimised window) stops drawing, and its video
  // stops decoding.
  void set_visible(bool visible);
  // Closes the view and releases controller, view and environment, in that order; the callbacks
  // of a creation still under way end without effect.
  void release();

 private:
  HRESULT on_environment(unsigned generation, HRESULT result, ICoreWebView2Environment* environment);
  HRESULT on_controller(unsigned generation, HRESULT result, ICoreWebView2Controller* controller);
  void start(unsigned generation);
  void configure();
  void apply_zoom();
  void report(unsigned generation, const ViewResult& result);
  HRESULT on_browser_exited(ICoreWebView2Environment* environment);
  static void stop_hearing_exit(ComPtr<ICoreWebView2Environment>& environment, EventRegistrationToken token);

  CreateEnvironmentFn create_environment_;
  WebViewEvents events_;
  HWND window_ = nullptr;
  double zoom_ = 1.0;
  bool visible_ = true;
  bool started_ = false;   // create() was called and release() has not ended it
  bool reporting_ = false;  // a creation's result is still to be reported
  unsigned generation_ = 0;  // which creation the runtime's callbacks belong to
  std::wstring user_data_folder_;
  double applied_zoom_ = 0;    // the zoom factor last given to the controller
  // The environment reports when its browser process has exited, and it has not yet done so.
  bool browser_running_ = false;
  // A released view's environment whose browser process is still running, and whether a new
  // creation waits for it to exit.
  ComPtr<ICoreWebView2Environment> retiring_;
  EventRegistrationToken retiring_token_{};
  bool retiring_running_ = false;
  EventRegistrationToken exit_token_{};  // of environment_
  bool creation_waits_ = false;
  ComPtr<ICoreWebView2Environment> environment_;
  ComPtr<ICoreWebView2Controller> controller_;
  ComPtr<ICoreWebView2> webview_;
};

// True when `address` lies in the page's own origin (kVirtualOrigin, exact case): the only
// addresses the view may show and the only documents whose messages count.
bool is_page_address(std::wstring_view address);

}  // namespace corvane::win32
