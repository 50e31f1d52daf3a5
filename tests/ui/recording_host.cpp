#include "ui/recording_host.h"

#include <algorithm>

namespace corvane::test {

std::vector<PostedMessage> RecordingHost::take_posted() {
  std::lock_guard lock(mutex_);
  std::vector<PostedMessage> out(std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.end()));
  queue_.clear();
  return out;
}

bool RecordingHost::pump_until(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::unique_lock lock(mutex_);
  for (;;) {
    while (!queue_.empty() && window_proc) {
      PostedMessage m = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      (void)window_proc(m.message, 0, std::move(m.text));
      lock.lock();
    }
    lock.unlock();
    const bool finished = done();
    lock.lock();
    if (finished) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    posted_.wait_for(lock, std::chrono::milliseconds(20));
  }
}

std::size_t RecordingHost::count(std::string_view call) const {
  return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
}

bool RecordingHost::post_message(WindowMessage message, std::unique_ptr<std::wstring> text) {
  std::lock_guard lock(mutex_);
  queue_.push_back({message, std::move(text)});
  posted_.notify_all();
  return true;
}

MessageBoxAnswer RecordingHost::message_box(std::wstring_view text, MessageBoxKind kind) {
  boxes.emplace_back(text);
  calls.push_back(kind == MessageBoxKind::Error         ? "error box"
                  : kind == MessageBoxKind::Information ? "information box"
                                                        : "question box");
  return box_answer;
}

bool RecordingHost::create_window(const ScreenRect& rect) {
  calls.push_back("create_window");
  placement = rect;
  return window_can_be_created;
}

void RecordingHost::destroy_window() {
  calls.push_back("destroy_window");
  if (window_proc) (void)window_proc(kWindowDestroy, 0, nullptr);
}

void RecordingHost::place_window(const ScreenRect& rect) {
  calls.push_back("place_window " + std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
                  std::to_string(rect.right) + " " + std::to_string(rect.bottom));
}

void RecordingHost::set_view_zoom(double zoom) {
  calls.push_back("set_view_zoom");
  view_zoom = zoom;
}

void RecordingHost::set_timer(std::uint32_t id, std::uint32_t ms) {
  calls.push_back("set_timer " + std::to_string(id) + " " + std::to_string(ms));
}

void RecordingHost::create_view(double zoom) {
  calls.push_back("create_view");
  view_zoom = zoom;
}

std::wstring RecordingHost::show_folder_dialog(std::wstring_view title, std::wstring_view start) {
  dialogs.emplace_back(title, start);
  return dialog_answer;
}

void RecordingHost::run_message_loop() {
  calls.push_back("run_message_loop");
  if (view_created && count("create_view") > 0) view_created(view_result);
  if (page_script) page_script(*this);
  (void)pump_until([this] { return quit; });
}

void RecordingHost::quit_message_loop() {
  calls.push_back("quit_message_loop");
  quit = true;
}

}  // namespace corvane::test
