#pragma once
#include "ui/ui_host.h"

// A UI host without a window: message boxes go to standard error and no window can be created.
// It serves the setup's paths that never show the window (the relaunch of the uninstaller, the
// error boxes of the command line) where no graphical host is built.
namespace corvane {

class ConsoleUiHost final : public UiHost {
 public:
  bool post_message(WindowMessage message, std::unique_ptr<std::wstring> text) override;
  // Prints "Corvane: <text>" to standard error; a question is answered No.
  MessageBoxAnswer message_box(std::wstring_view text, MessageBoxKind kind) override;
  ScreenRect work_area() override;
  std::uint32_t system_dpi() override;
  bool create_window(const ScreenRect& placement) override;  // always false
  void set_cloaked(bool) override {}
  void show_window() override {}
  void bring_to_foreground() override {}
  void minimize_window() override {}
  void start_drag() override {}
  void place_window(const ScreenRect&) override {}
  void destroy_window() override {}
  void set_timer(std::uint32_t, std::uint32_t) override {}
  void kill_timer(std::uint32_t) override {}
  void create_view(double) override {}
  void set_view_zoom(double) override {}
  void focus_view() override {}
  void post_json_to_page(std::wstring_view) override {}
  void release_view() override {}
  std::wstring show_folder_dialog(std::wstring_view, std::wstring_view) override { return {}; }
  void open_url(std::wstring_view) override {}
  void set_shutdown_reason(std::wstring_view) override {}
  void run_message_loop() override {}
  void quit_message_loop() override {}
};

}  // namespace corvane
