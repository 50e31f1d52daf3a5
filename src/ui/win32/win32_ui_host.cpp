#include "ui/win32/win32_ui_host.h"

#include <dwmapi.h>
#include <shellapi.h>

#include <utility>

#include "os/known_folders.h"
#include "ui/win32/folder_dialog.h"

namespace corvane::win32 {
namespace {

// Not in mingw-w64's dwmapi.h 10.0: the rounded-corner preference and its "round" value.
constexpr DWORD kDwmWindowCornerPreference = 33;  // DWMWA_WINDOW_CORNER_PREFERENCE
constexpr DWORD kDwmCornerRound = 2;              // DWMWCP_ROUND

constexpr COLORREF kBackground = RGB(13, 13, 13);
constexpr wchar_t kTitle[] = L"Corvane";
constexpr WORD kIconId = 101;

// The setup's own messages lie in WM_APP + 1 .. WM_APP + 0x3F.
bool is_setup_message(UINT message) { return message >= WM_UI_MESSAGE && message <= WM_APP + 0x3F; }

WindowMessage message_for(ViewFailure failure) {
  switch (failure) {
    case ViewFailure::ViewGone:
      return WM_VIEW_FAILED;
    case ViewFailure::RendererExited:
      return WM_VIEW_RENDERER_EXITED;
    case ViewFailure::Unresponsive:
      break;
  }
  return WM_VIEW_UNRESPONSIVE;
}

}  // namespace

ViewDataFolder view_user_data_folder() {
  return choose_view_data_folder(process_user_sid(), desktop_user_sid(),
                                 os::known_folder_path(os::KnownFolder::LocalAppData),
                                 os::known_folder_path(os::KnownFolder::ProgramData));
}

Win32UiHost::Win32UiHost(HINSTANCE instance, int show_command, HostHandlers handlers,
                         CreateEnvironmentFn create_environment)
    : instance_(instance),
      show_command_(show_command),
      handlers_(std::move(handlers)),
      view_(create_environment,
            WebViewEvents{[this](const ViewResult& result) {
                            // Refused the data folder while the desktop is another account's: the
                            // user is told that, not a code.
                            ViewResult told = result;
                            if (shared_folder_ && result.status == ViewStatus::Failed &&
                                result.error == static_cast<std::uint32_t>(E_ACCESSDENIED)) {
                              told.status = ViewStatus::OtherAccount;
                            }
                            if (handlers_.view_created) handlers_.view_created(told);
                          },
                          [this](std::wstring_view command) {
                            if (handlers_.page_command) handlers_.page_command(command);
                          },
                          // Handled once the runtime's event has returned: the view may be released then.
                          [this](ViewFailure failure) { (void)post_message(message_for(failure), nullptr); },
                          [this] { (void)post_message(WM_VIEW_ANSWERED, nullptr); },
                          [this](std::int32_t width, std::int32_t height, double scale) {
                            return handlers_.view_zoom ? handlers_.view_zoom(width, height, scale) : 0.0;
                          }}) {}

Win32UiHost::~Win32UiHost() {
  view_.release();
  if (HWND window = window_.load()) DestroyWindow(window);
}

bool Win32UiHost::post_message(WindowMessage message, std::unique_ptr<std::wstring> text) {
  HWND window = window_.load();
  if (!window) return false;
  // On success the window thread owns the text: the window procedure takes it back.
  std::wstring* raw = message == WM_UI_MESSAGE ? text.release() : nullptr;
  if (PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(raw))) return true;
  delete raw;
  return false;
}

MessageBoxAnswer Win32UiHost::message_box(std::wstring_view text, MessageBoxKind kind) {
  const std::wstring ztext(text);
  const bool question = kind == MessageBoxKind::YesNoWarning;
  const UINT type = question ? (MB_YESNO | MB_ICONWARNING)
                    : kind == MessageBoxKind::Information ? MB_ICONINFORMATION
                                                          : MB_ICONERROR;
  const int answer = MessageBoxW(window_.load(), ztext.c_str(), kTitle, type);
  if (!question) return MessageBoxAnswer::Ok;
  return answer == IDYES ? MessageBoxAnswer::Yes : MessageBoxAnswer::No;
}

ScreenRect Win32UiHost::work_area() {
  RECT area{0, 0, 1024, 768};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return {area.left, area.top, area.right, area.bottom};
}

std::uint32_t Win32UiHost::system_dpi() {
  const UINT dpi = GetDpiForSystem();
  return dpi ? dpi : 96;
}

bool Win32UiHost::create_window(const ScreenRect& placement) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_DROPSHADOW;
  window_class.lpfnWndProc = &Win32UiHost::window_procedure;
  window_class.hInstance = instance_;
  window_class.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(kIconId));
  window_class.hIconSm = window_class.hIcon;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kWindowClassName;
  // A class left from an earlier window of this process is the same class.
  if (!RegisterClassExW(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  HWND window = CreateWindowExW(WS_EX_APPWINDOW, kWindowClassName, kTitle, WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                                placement.left, placement.top, placement.right - placement.left,
                                placement.bottom - placement.top, nullptr, nullptr, instance_, this);
  if (!window) return false;
  // The placement was worked out at the system DPI (that of the sign-in); the window may have
  // opened on a monitor of another one.
  const UINT dpi = GetDpiForWindow(window);
  if (dpi && dpi != GetDpiForSystem() && handlers_.placement_for) {
    place_window(handlers_.placement_for(dpi, monitor_work_area(window)));
  }
  // A system without rounded corners simply keeps square ones.
  const DWORD corners = kDwmCornerRound;
  DwmSetWindowAttribute(window, kDwmWindowCornerPreference, &corners, sizeof corners);
  return true;
}

void Win32UiHost::set_cloaked(bool cloaked) {
  HWND window = window_.load();
  if (!window) return;
  // Failures are ignored: without cloaking the window only shows early.
  const BOOL value = cloaked ? TRUE : FALSE;
  DwmSetWindowAttribute(window, DWMWA_CLOAK, &value, sizeof value);
}

void Win32UiHost::show_window() {
  HWND window = window_.load();
  if (!window) return;
  ShowWindow(window, show_command_);
  UpdateWindow(window);
}

void Win32UiHost::bring_to_foreground() {
  if (HWND window = window_.load()) SetForegroundWindow(window);
}

void Win32UiHost::minimize_window() {
  if (HWND window = window_.load()) ShowWindow(window, SW_MINIMIZE);
}

void Win32UiHost::start_drag() {
  HWND window = window_.load();
  if (!window) return;
  // The system's move loop runs as if the caption had been pressed, until the button is released.
  ReleaseCapture();
  SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void Win32UiHost::place_window(const ScreenRect& placement) {
  HWND window = window_.load();
  if (!window) return;
  SetWindowPos(window, nullptr, placement.left, placement.top, placement.right - placement.left,
               placement.bottom - placement.top, SWP_NOZORDER | SWP_NOACTIVATE);
  view_.resize();  // also when only the place changed
}

void Win32UiHost::destroy_window() {
  if (HWND window = window_.load()) DestroyWindow(window);
}

void Win32UiHost::set_timer(std::uint32_t id, std::uint32_t interval_ms) {
  if (HWND window = window_.load()) SetTimer(window, id, interval_ms, nullptr);
}

void Win32UiHost::kill_timer(std::uint32_t id) {
  if (HWND window = window_.load()) KillTimer(window, id);
}

void Win32UiHost::create_view(double zoom) {
  HWND window = window_.load();
  const ViewDataFolder folder = window ? view_user_data_folder() : ViewDataFolder{};
  shared_folder_ = folder.shared;
  if (!window || folder.path.empty()) {
    const DWORD error = window ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_WINDOW_HANDLE;
    if (handlers_.view_created) {
      handlers_.view_created({folder.shared ? ViewStatus::OtherAccount : ViewStatus::Failed,
                              static_cast<std::uint32_t>(HRESULT_FROM_WIN32(error))});
    }
    return;
  }
  view_.create(window, folder.path, zoom);
}

void Win32UiHost::set_view_zoom(double zoom) { view_.set_zoom(zoom); }

void Win32UiHost::focus_view() { view_.focus(); }

void Win32UiHost::post_json_to_page(std::wstring_view json) { view_.post_json(json); }

void Win32UiHost::release_view() { view_.release(); }

bool Win32UiHost::reload_view() { return view_.reload(); }

void Win32UiHost::ping_view() { view_.ping(); }

std::wstring Win32UiHost::show_folder_dialog(std::wstring_view title, std::wstring_view start_folder) {
  ComPtr<IFileOpenDialog> dialog = make_folder_dialog(title, start_folder);
  if (!dialog) return {};
  return win32::show_folder_dialog(*dialog.get(), window_.load());
}

void Win32UiHost::open_url(std::wstring_view url) {
  const std::wstring zurl(url);
  ShellExecuteW(nullptr, L"open", zurl.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32UiHost::set_shutdown_reason(std::wstring_view reason) {
  HWND window = window_.load();
  if (!window) return;
  if (reason.empty()) {
    ShutdownBlockReasonDestroy(window);
  } else {
    const std::wstring text(reason);
    ShutdownBlockReasonCreate(window, text.c_str());
  }
}

void Win32UiHost::run_message_loop() {
  MSG message;
  // GetMessageW gives -1 on failure, which ends the loop as well as the quit message does.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Win32UiHost::quit_message_loop() { PostQuitMessage(0); }

bool Win32UiHost::deliver(WindowMessage message, std::uintptr_t wparam, std::unique_ptr<std::wstring> text) {
  return handlers_.window_proc && handlers_.window_proc(message, wparam, std::move(text));
}

LRESULT CALLBACK Win32UiHost::window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* host = static_cast<Win32UiHost*>(create->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
    host->window_.store(window);
  }
  auto* host = reinterpret_cast<Win32UiHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!host) return DefWindowProcW(window, message, wparam, lparam);
  return host->handle(window, message, wparam, lparam);
}

LRESULT Win32UiHost::handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (is_setup_message(message)) {
    std::unique_ptr<std::wstring> text;
    if (message == WM_UI_MESSAGE) text.reset(reinterpret_cast<std::wstring*>(lparam));
    deliver(message, wparam, std::move(text));  // frees the text in every case
    return 0;
  }
  switch (message) {
    case WM_CLOSE:
      deliver(kWindowClose, 0, nullptr);  // the portable side decides; DefWindowProc never closes
      return 0;
    case WM_DESTROY:
      deliver(kWindowDestroy, 0, nullptr);
      return 0;
    case WM_NCDESTROY:
      // From here on nothing can be posted to the window.
      window_.store(nullptr);
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return DefWindowProcW(window, message, wparam, lparam);
    case WM_TIMER:
      if (deliver(kWindowTimer, wparam, nullptr)) return 0;
      break;
    case WM_SIZE:
      // Minimised, the view is hidden: it stops drawing, and the page's video stops decoding.
      view_.set_visible(wparam != SIZE_MINIMIZED);
      view_.resize();
      return 0;
    case WM_MOVE:
    case WM_MOVING:
      // Pop-ups, the input method and accessibility place themselves by where the view last was.
      view_.notify_moved();
      return message == WM_MOVING ? TRUE : 0;
    case WM_ACTIVATE: {
      // The default handling gives the window itself the keyboard focus; the page takes it over.
      const LRESULT result = DefWindowProcW(window, message, wparam, lparam);
      if (LOWORD(wparam) != WA_INACTIVE && HIWORD(wparam) == 0) view_.focus();
      return result;
    }
    case WM_SETFOCUS:
      // The window gets the focus back (a restore from the task bar, a closed dialog): the page
      // takes it, or the keyboard would go nowhere.
      view_.focus();
      return 0;
    case WM_GETDPISCALEDSIZE: {
      // The size the window wants at the coming DPI: the page fitted to the monitor it is moving
      // to, as at start-up. The system then suggests a rectangle of that size that keeps the
      // window where the user is dragging it.
      if (!handlers_.placement_for) break;
      const ScreenRect rect = handlers_.placement_for(static_cast<std::uint32_t>(wparam), monitor_work_area(window));
      auto* size = reinterpret_cast<SIZE*>(lparam);
      size->cx = rect.right - rect.left;
      size->cy = rect.bottom - rect.top;
      return TRUE;
    }
    case WM_DPICHANGED: {
      // The suggested rectangle is taken as given: moving it elsewhere could put the window back
      // on the monitor it came from, and it would bounce between the two.
      const RECT& suggested = *reinterpret_cast<const RECT*>(lparam);
      place_window({suggested.left, suggested.top, suggested.right, suggested.bottom});
      return 0;
    }
    case WM_ENDSESSION:
      deliver(kWindowEndSession, wparam, nullptr);
      return 0;
    case WM_QUERYENDSESSION:
      return handlers_.session_may_end && !handlers_.session_may_end() ? FALSE : TRUE;
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(window, &client);
      HBRUSH brush = CreateSolidBrush(kBackground);
      FillRect(reinterpret_cast<HDC>(wparam), &client, brush);
      DeleteObject(brush);
      return 1;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

ScreenRect Win32UiHost::monitor_work_area(HWND window) const {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
  }
  return {monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right, monitor.rcWork.bottom};
}

}  // namespace corvane::win32
