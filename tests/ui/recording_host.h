#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/ui_host.h"

// A UI host for tests: it records what the window is asked to do, answers boxes and dialogs as
// the test says, and queues posted messages until the test delivers them on its own thread (which
// thus plays the window thread).
namespace corvane::test {

struct PostedMessage {
  WindowMessage message = 0;
  std::unique_ptr<std::wstring> text;
};

class RecordingHost final : public UiHost {
 public:
  // Set by the test: where delivered messages go (window_proc; without it they stay queued),
  // where the view's creation is reported (called inside run_message_loop), and the page's part
  // in the loop.
  std::function<bool(WindowMessage, std::uintptr_t, std::unique_ptr<std::wstring>)> window_proc;
  std::function<void(const ViewResult&)> view_created;
  std::function<void(RecordingHost&)> page_script;
  ViewResult view_result;  // what the view's creation reports
  bool window_can_be_created = true;
  bool view_reloads = true;  // what reload_view answers
  MessageBoxAnswer box_answer = MessageBoxAnswer::Ok;
  std::wstring dialog_answer;

  // What happened, on the window thread.
  std::vector<std::string> calls;   // every window action in order, e.g. "set_timer 1 5000"
  std::vector<std::wstring> page;   // JSON given to the page
  std::vector<std::wstring> boxes;  // message box texts
  std::vector<std::pair<std::wstring, std::wstring>> dialogs;  // title, start folder
  ScreenRect placement;
  double view_zoom = 0;
  std::vector<std::wstring> shutdown_reasons;  // every set_shutdown_reason, in order
  bool quit = false;

  // Removes and returns the queued messages without delivering them.
  std::vector<PostedMessage> take_posted();
  // Delivers messages as they arrive until `done()` holds; false after 20 s.
  bool pump_until(const std::function<bool()>& done);
  std::size_t count(std::string_view call) const;

  bool post_message(WindowMessage message, std::unique_ptr<std::wstring> text) override;
  MessageBoxAnswer message_box(std::wstring_view text, MessageBoxKind kind) override;
  ScreenRect work_area() override { return {0, 0, 1920, 1040}; }
  std::uint32_t system_dpi() override { return 96; }
  bool create_window(const ScreenRect& rect) override;
  void set_cloaked(bool cloaked) override { calls.push_back(cloaked ? "set_cloaked 1" : "set_cloaked 0"); }
  void show_window() override { calls.push_back("show_window"); }
  void bring_to_foreground() override { calls.push_back("bring_to_foreground"); }
  void minimize_window() override { calls.push_back("minimize_window"); }
  void start_drag() override { calls.push_back("start_drag"); }
  // "place_window left top right bottom"
  void place_window(const ScreenRect& rect) override;
  void destroy_window() override;
  void set_timer(std::uint32_t id, std::uint32_t ms) override;
  void kill_timer(std::uint32_t id) override { calls.push_back("kill_timer " + std::to_string(id)); }
  void create_view(double zoom) override;
  // "set_view_zoom" (the zoom goes to view_zoom)
  void set_view_zoom(double zoom) override;
  void focus_view() override { calls.push_back("focus_view"); }
  void post_json_to_page(std::wstring_view json) override { page.emplace_back(json); }
  void release_view() override { calls.push_back("release_view"); }
  bool reload_view() override {
    calls.push_back("reload_view");
    return view_reloads;
  }
  void ping_view() override { calls.push_back("ping_view"); }
  std::wstring show_folder_dialog(std::wstring_view title, std::wstring_view start) override;
  void open_url(std::wstring_view) override { calls.push_back("open_url"); }
  void set_shutdown_reason(std::wstring_view reason) override { shutdown_reasons.emplace_back(reason); }
  void run_message_loop() override;
  void quit_message_loop() override;

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<PostedMessage> queue_;
};

}  // namespace corvane::test
