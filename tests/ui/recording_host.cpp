#include "ui/recording_host.h"

#include <algorithm>

namespace corvane::test {

std::vector<PostedMessage> RecordingHost::take_posted() {
  std::lock_guard lock(mutex_);
  std::vector<PostedMessage> out;
  for (auto& m : queue_) out.push_back(std::move(m));
  queue_.clear();
  return out;
}

bool RecordingHost::deliver_one(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty() || !window_proc) return false;
  PostedMessage m = std::move(queue_.front());
  queue_.pop_front();
  lock.unlock();
  (void)window_proc(m.message, 0, std::move(m.text));
  lock.lock();
  return true;
}

void RecordingHost::pump() {
  std::unique_lock lock(mutex_);
  while (deliver_one(lock)) {
  }
}

bool RecordingHost::pump_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(mutex_);
  for (;;) {
    while (deliver_one(lock)) {
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
  if (refuse_posts) return false;
  queue_.push_back({message, std::move(text)});
  posted_.notify_all();
  return true;
}

MessageBoxAnswer RecordingHost::message_box(std::wstring_view text, MessageBoxKind kind) {
  boxes.emplace_back(text);
  box_kinds.push_back(kind);
  return box_answer;
}

bool RecordingHost::create_window(const ScreenRect& rect) {
  calls.push_back("create_window");
  placement = rect;
  return window_can_be_created;
}

void RecordingHost::set_cloaked(bool cloaked) { calls.push_back(cloaked ? "set_cloaked 1" : "set_cloaked 0"); }

void RecordingHost::destroy_window() {
  calls.push_back("destroy_window");
  if (window_proc) (void)window_proc(kWindowDestroy, 0, nullptr);
}

void RecordingHost::set_timer(std::uint32_t id, std::uint32_t interval_ms) {
  calls.push_back("set_timer " + std::to_string(id) + " " + std::to_string(interval_ms));
}

void RecordingHost::kill_timer(std::uint32_t id) { calls.push_back("kill_timer " + std::to_string(id)); }

void RecordingHost::create_view(double zoom) {
  calls.push_back("create_view");
  view_zoom = zoom;
  view_requested_ = true;
}

std::wstring RecordingHost::show_folder_dialog(std::wstring_view title, std::wstring_view start) {
  dialogs.emplace_back(title, start);
  return dialog_answer;
}

void RecordingHost::run_message_loop() {
  calls.push_back("run_message_loop");
  if (view_requested_ && view_created) view_created(view_can_be_created);
  if (page_script) page_script(*this);
  (void)pump_until([this] { return quit; });
}

void RecordingHost::quit_message_loop() {
  calls.push_back("quit_message_loop");
  quit = true;
}

}  // namespace corvane::test
