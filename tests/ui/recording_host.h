#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/ui_host.h"

// A UI host for tests: it records what the portable side asks of the window, answers message
// boxes and folder dialogs as the test says, and keeps posted messages in a queue that the test
// delivers on its own thread (which thus plays the window thread).
namespace corvane::test {

struct PostedMessage {
  WindowMessage message = 0;
  std::unique_ptr<std::wstring> text;
};

using WindowProcFn = std::function<bool(WindowMessage, std::uintptr_t, std::unique_ptr<std::wstring>)>;

class RecordingHost final : public UiHost {
 public:
  // Set by the test before anything runs ------------------------------------------------------
  // Where delivered messages go (window_proc); without it, posted messages stay queued.
  WindowProcFn window_proc;
  // Where the view's creation is reported (on_view_created); called inside run_message_loop.
  std::function<void(bool)> view_created;
  bool view_can_be_created = true;
  bool window_can_be_created = true;
  bool refuse_posts = false;
  MessageBoxAnswer box_answer = MessageBoxAnswer::Ok;
  std::wstring dialog_answer;
  // Runs inside run_message_loop once the view has been reported, as if the page were talking.
  std::function<void(RecordingHost&)> page_script;
  ScreenRect screen{0, 0, 1920, 1040};
  std::uint32_t dpi = 96;

  // What happened (window thread) ---------------------------------------------------------------
  std::vector<std::string> calls;   // every window action in order, e.g. "set_timer 1 5000"
  std::vector<std::wstring> page;   // JSON texts given to the page
  std::vector<std::wstring> boxes;  // message box texts
  std::vector<MessageBoxKind> box_kinds;
  std::vector<std::pair<std::wstring, std::wstring>> dialogs;  // title, start folder
  std::vector<std::wstring> opened_urls;
  ScreenRect placement;
  double view_zoom = 0;
  bool quit = false;

  // Removes and returns every queued message without delivering it.
  std::vector<PostedMessage> take_posted();
  // Delivers every queued message (and those they post in turn) to window_proc.
  void pump();
  // Delivers messages as they arrive until `done()` holds; false when `timeout` passes first.
  bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(20));
  std::size_t count(std::string_view call) const;

  bool post_message(WindowMessage message, std::unique_ptr<std::wstring> text) override;
  MessageBoxAnswer message_box(std::wstring_view text, MessageBoxKind kind) override;
  ScreenRect work_area() override { return screen; }
  std::uint32_t system_dpi() override { return dpi; }
  bool create_window(const ScreenRect& rect) override;
  void set_cloaked(bool cloaked) override;
  void show_window() override { calls.push_back("show_window"); }
  void bring_to_foreground() override { calls.push_back("bring_to_foreground"); }
  void minimize_window() override { calls.push_back("minimize_window"); }
  void start_drag() override { calls.push_back("start_drag"); }
  void destroy_window() override;
  void set_timer(std::uint32_t id, std::uint32_t interval_ms) override;
  void kill_timer(std::uint32_t id) override;
  void create_view(double zoom) override;
  void post_json_to_page(std::wstring_view json) override { page.emplace_back(json); }
  void release_view() override { calls.push_back("release_view"); }
  std::wstring show_folder_dialog(std::wstring_view title, std::wstring_view start) override;
  void open_url(std::wstring_view url) override { opened_urls.emplace_back(url); }
  void run_message_loop() override;
  void quit_message_loop() override;

 private:
  bool deliver_one(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<PostedMessage> queue_;
  bool view_requested_ = false;
};

}  // namespace corvane::test
