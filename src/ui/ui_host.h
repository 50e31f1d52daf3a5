#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The seam between the setup's portable window logic and the platform's window. A host (Win32 +
// WebView2, GTK + WebKitGTK, a console host without a window, a recording host in tests) owns
// the window thread's loop, the window and the page's view; the portable side decides everything
// and asks the host for one platform action at a time.
//
// The host calls into the portable side on the window thread only, through the HostHandlers it was
// made with (the setup gives it those of app/window_proc.h):
//   - window_proc (app/window_proc.h) for every message posted with post_message, for a close
//     request from the system (kWindowClose), for its timers (kWindowTimer with the timer id), at
//     the end of the session (kWindowEndSession) and when the window is destroyed (kWindowDestroy,
//     from inside destroy_window);
//   - on_view_created (app/window_proc.h) once the view exists and is configured, or has failed;
//   - placement_on_monitor, view_zoom_for and session_may_end (app/window_proc.h) when the window
//     needs its size on a monitor, the view its zoom, or the system asks whether the session may
//     end;
//   - dispatch_command (ui/dispatcher.h) with every string that the page posts.
namespace corvane {

// Window messages, with the numbers they have on Windows.
using WindowMessage = std::uint32_t;
inline constexpr WindowMessage kWindowDestroy = 0x0002;  // WM_DESTROY
inline constexpr WindowMessage kWindowClose = 0x0010;    // WM_CLOSE
inline constexpr WindowMessage kWindowTimer = 0x0113;    // WM_TIMER; wparam is the timer id
inline constexpr WindowMessage WM_UI_MESSAGE = 0x8001;   // WM_APP + 1; carries one page message
inline constexpr WindowMessage WM_WORKER_DONE = 0x8002;  // the worker's last act
inline constexpr WindowMessage WM_START_DRAG = 0x8003;
inline constexpr WindowMessage WM_BROWSE_INSTALL = 0x8004;
inline constexpr WindowMessage WM_BROWSE_GAME = 0x8005;
// Posted by the host when the view itself is gone (its browser process has died): it has to be
// made anew.
inline constexpr WindowMessage WM_VIEW_FAILED = 0x8006;
// Posted by on_view_created when the view could not be created, so that what follows (a retry,
// a message) runs after the host's completion handler has returned.
inline constexpr WindowMessage WM_VIEW_UNAVAILABLE = 0x8007;
// Posted by the host when the renderer of the page has died but the view lives on: the page can
// be loaded again in the same view.
inline constexpr WindowMessage WM_VIEW_RENDERER_EXITED = 0x8010;
// Posted by the host each time the page's renderer is reported unresponsive (which may only mean
// a busy system, and repeats every few seconds while it lasts).
inline constexpr WindowMessage WM_VIEW_UNRESPONSIVE = 0x8011;
// Posted by the host when the page has answered ping_view.
inline constexpr WindowMessage WM_VIEW_ANSWERED = 0x8012;
// The system ends the session (WM_ENDSESSION); wparam is nonzero when it really ends.
inline constexpr WindowMessage kWindowEndSession = 0x0016;

inline constexpr std::uint32_t REVEAL_TIMER_ID = 1;
inline constexpr std::uint32_t kRevealDelayMs = 5000;
// A failed creation of the view is tried once more after this pause (an earlier setup may still
// be letting go of the view's data folder).
inline constexpr std::uint32_t VIEW_RETRY_TIMER_ID = 2;
inline constexpr std::uint32_t kViewRetryDelayMs = 1000;
// How long a page that has been unresponsive for a while gets to answer ping_view.
inline constexpr std::uint32_t VIEW_PING_TIMER_ID = 3;
inline constexpr std::uint32_t kViewPingTimeoutMs = 5000;

// A rectangle in physical pixels; right and bottom are exclusive.
struct ScreenRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

// Buttons and icon of a message box titled "Corvane".
enum class MessageBoxKind {
  Error,          // OK, error icon (MB_ICONERROR)
  YesNoWarning,   // Yes and No, warning icon (MB_YESNO + MB_ICONWARNING)
  Information,    // OK, information icon (MB_ICONINFORMATION)
};
enum class MessageBoxAnswer { Ok, Yes, No };

// How the creation of the page's view ended.
enum class ViewStatus {
  Created,         // the view exists, is configured and navigates to the start page
  RuntimeMissing,  // no web view runtime is installed
  RuntimeWithoutX64,  // a runtime is installed, but only for another processor (x86, ARM64)
  OtherAccount,    // run as another account than the desktop's, the view has no folder it may use
  Failed,          // a runtime is there, but the view could not be made; `error` says why
};
struct ViewResult {
  ViewStatus status = ViewStatus::Created;
  std::uint32_t error = 0;  // the system's error code (an HRESULT on Windows) for Failed
};

class UiHost {
 public:
  virtual ~UiHost() = default;

  // Any thread; never blocks and never waits for the page. Queues `message` for window_proc on
  // the window thread, after every message posted before it. `text` travels with WM_UI_MESSAGE
  // (null otherwise); once the post succeeds the window thread owns it. False when the message
  // could not be queued (no window, or the queue refuses it): `text` has then been freed.
  [[nodiscard]] virtual bool post_message(WindowMessage message, std::unique_ptr<std::wstring> text) = 0;

  // Everything below: the window thread only.

  // A modal message box with the title "Corvane", owned by the window when it exists.
  virtual MessageBoxAnswer message_box(std::wstring_view text, MessageBoxKind kind) = 0;

  // The primary monitor's work area and the system DPI (96 = 100 %).
  virtual ScreenRect work_area() = 0;
  virtual std::uint32_t system_dpi() = 0;

  // Creates the one top-level window, titled "Corvane": borderless, not resizable, with the
  // window icon, the background RGB(13, 13, 13), at `placement` (left, top, right, bottom) and
  // not yet visible. False when it cannot be created.
  [[nodiscard]] virtual bool create_window(const ScreenRect& placement) = 0;
  // Keeps the shown window invisible (true) or lets it be seen (false); the rounded corners are
  // the host's own business.
  virtual void set_cloaked(bool cloaked) = 0;
  // Shows the window (ShowWindow with the entry's show command, UpdateWindow).
  virtual void show_window() = 0;
  virtual void bring_to_foreground() = 0;
  virtual void minimize_window() = 0;
  // Lets the system move the window with the mouse until the primary button is released.
  virtual void start_drag() = 0;
  // Moves and sizes the window to `placement` (physical pixels); the view follows.
  virtual void place_window(const ScreenRect& placement) = 0;
  // Destroys the window; window_proc gets kWindowDestroy before this returns.
  virtual void destroy_window() = 0;

  // A timer that delivers kWindowTimer with `id` every `interval_ms` until killed.
  virtual void set_timer(std::uint32_t id, std::uint32_t interval_ms) = 0;
  virtual void kill_timer(std::uint32_t id) = 0;

  // Starts creating the page's view in the window with the zoom factor `zoom`; returns at once.
  // The host then calls on_view_created once the view is configured and navigating to the start
  // page, or when it cannot be created. After release_view a new view may be created the same way.
  // Once a view has been created, the host posts WM_VIEW_FAILED when the view has died,
  // WM_VIEW_RENDERER_EXITED when only its page's renderer has, and WM_VIEW_UNRESPONSIVE while the
  // page does not respond.
  virtual void create_view(double zoom) = 0;
  // The view's zoom factor from now on.
  virtual void set_view_zoom(double zoom) = 0;
  // Moves the keyboard focus into the page.
  virtual void focus_view() = 0;
  // Hands one JSON message to the page (PostWebMessageAsJson). Only while the view exists.
  virtual void post_json_to_page(std::wstring_view json) = 0;
  // Releases the view and everything behind it; nothing happens when there is none.
  virtual void release_view() = 0;
  // Loads the start page again in the same view (after its renderer died). False when the view
  // cannot do that: it is then to be made anew. A host without the means answers false.
  virtual bool reload_view() { return false; }
  // Asks the page for a sign of life; the host posts WM_VIEW_ANSWERED once it has answered. A
  // host whose view never reports an unresponsive page has nothing to do.
  virtual void ping_view() {}

  // The system's modal folder dialog, titled `title`, opening at `start_folder` (an existing
  // folder) or where the system places it when that is empty. The chosen folder's file-system
  // path, or empty on cancel or failure.
  virtual std::wstring show_folder_dialog(std::wstring_view title, std::wstring_view start_folder) = 0;

  // Opens an address in the user's default browser.
  virtual void open_url(std::wstring_view url) = 0;

  // The reason the system shows for this window while it holds up a logoff or shutdown
  // (ShutdownBlockReasonCreate); empty removes it. A host whose system has no such list ignores it.
  virtual void set_shutdown_reason(std::wstring_view reason) = 0;

  // Runs the window thread's loop until quit_message_loop (PostQuitMessage) ends it.
  virtual void run_message_loop() = 0;
  virtual void quit_message_loop() = 0;
};

// Where the host hands what happens in the window: the portable window procedure, the view's
// creation result, the page's commands, the window's size on a monitor, the page's zoom and the
// system's question whether the session may end (the window procedure and the dispatcher in the setup).
struct HostHandlers {
  std::function<bool(WindowMessage, std::uintptr_t, std::unique_ptr<std::wstring>)> window_proc;
  std::function<void(const ViewResult& result)> view_created;
  std::function<void(std::wstring_view command)> page_command;
  // The window's rectangle on a monitor of the DPI with the work area: its size answers
  // WM_GETDPISCALEDSIZE, and all of it places a window that opened at another DPI than the
  // system's. Without it the system scales the window itself.
  std::function<ScreenRect(std::uint32_t dpi, const ScreenRect& work_area)> placement_for;
  // The page's zoom factor for a view of width x height physical pixels and the runtime's
  // rasterization scale. Without it the view keeps the zoom the setup gives it.
  std::function<double(std::int32_t width, std::int32_t height, double rasterization_scale)> view_zoom;
  // WM_QUERYENDSESSION: false holds up the logoff or shutdown. Without it the session may end.
  std::function<bool()> session_may_end;
  // The view cannot run on this system at all (the GTK host: its web process died before the page
  // ever spoke), so the user is offered the runtime.
  std::function<void()> runtime_missing;
};

}  // namespace corvane
