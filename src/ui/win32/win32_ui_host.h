#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/ui_host.h"
#include "ui/win32/view_data_folder.h"
#include "ui/win32/webview_host.h"

// The Windows window host: one borderless Win32 window ("CorvaneSetup") carrying the page's
// WebView2 view, with DWM cloaking and rounded corners, the window thread's message loop, and the
// system's message boxes, folder dialog and browser.
namespace corvane::win32 {

// The handlers are the portable ones of ui/ui_host.h.
using corvane::HostHandlers;


class Win32UiHost final : public UiHost {
 public:
  // `instance` holds the icon 101; `show_command` is the entry point's. The view's environment is
  // created with `create_environment` (the loader function in the setup).
  Win32UiHost(HINSTANCE instance, int show_command, HostHandlers handlers, CreateEnvironmentFn create_environment);
  ~Win32UiHost() override;

  bool post_message(WindowMessage message, std::unique_ptr<std::wstring> text) override;
  MessageBoxAnswer message_box(std::wstring_view text, MessageBoxKind kind) override;
  ScreenRect work_area() override;
  std::uint32_t system_dpi() override;
  bool create_window(const ScreenRect& placement) override;
  void set_cloaked(bool cloaked) override;
  void show_window() override;
  void bring_to_foreground() override;
  void minimize_window() override;
  void start_drag() override;
  void place_window(const ScreenRect& placement) override;
  void destroy_window() override;
  void set_timer(std::uint32_t id, std::uint32_t interval_ms) override;
  void kill_timer(std::uint32_t id) override;
  void create_view(double zoom) override;
  void set_view_zoom(double zoom) override;
  void focus_view() override;
  void post_json_to_page(std::wstring_view json) override;
  void release_view() override;
  bool reload_view() override;
  void ping_view() override;
  std::wstring show_folder_dialog(std::wstring_view title, std::wstring_view start_folder) override;
  void open_url(std::wstring_view url) override;
  void set_shutdown_reason(std::wstring_view reason) override;
  void run_message_loop() override;
  void quit_message_loop() override;

  // The window, null before create_window and after its destruction.
  HWND window() const { return window_.load(); }

 private:
  static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // The work area of the monitor that holds most of the window.
  ScreenRect monitor_work_area(HWND window) const;
  bool deliver(WindowMessage message, std::uintptr_t wparam, std::unique_ptr<std::wstring> text);

  HINSTANCE instance_;
  int show_command_;
  HostHandlers handlers_;
  std::atomic<HWND> window_{nullptr};
  bool shared_folder_ = false;  // the view's data folder is the one for two accounts
  WebViewHost view_;
};

// The class name of the host window.
inline constexpr wchar_t kWindowClassName[] = L"CorvaneSetup";
// The user data folder of the view: the user's own local application data folder +
// "\Corvane-Setup" (the runtime keeps its data below it, in EBWebView). Only that user can create
// or change anything there, unlike a fixed name in the temporary folder, which another account on
// the machine could create first. Run under another account than the desktop's, the folder both
// may use (choose_view_data_folder). Empty when no folder can be had: the view is then not
// created, rather than kept next to the executable, where the runtime would put it.
ViewDataFolder view_user_data_folder();

}  // namespace corvane::win32
