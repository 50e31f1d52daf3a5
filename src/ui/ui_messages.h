#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The messages to the page and the one way they travel: every message but "init" is handed to the
// window thread with post_to_ui, which forwards it to the page in the order posted.
namespace corvane {

// One JSON object as text: "type" first, members in a fixed order, no whitespace.
using UiMessage = std::wstring;

// Any thread; never blocks and never waits for the page. The window thread gives the message to
// the page when the view exists; a message that cannot be posted, or that finds no view, is lost.
void post_to_ui(UiMessage message);

// {"type":"stage","stage":...}; any thread.
void send_stage(std::wstring_view stage);
// {"type":"error","message":...}; any thread.
void send_error(std::wstring_view text);
// {"type":"progress",...}: the update run's progress callback; `context` is not used. Every call
// becomes one message.
void send_progress(void* context, std::uint64_t done, std::uint64_t total, std::uint32_t files,
                   std::uint32_t files_total);

// The message texts.
UiMessage stage_message(std::wstring_view stage);
UiMessage error_message(std::wstring_view text);
UiMessage progress_message(std::uint64_t done, std::uint64_t total, std::uint32_t files,
                           std::uint32_t files_total);
// "version" and "date" are the release manifest's UTF-8 texts.
UiMessage installed_message(std::string_view version, std::string_view date);
// {"type":"uninstalled"}, with "kept" (the names of what the client folder still holds that is
// none of the client's) when there is any.
UiMessage uninstalled_message(const std::vector<std::wstring>& kept = {});
UiMessage install_dir_message(std::wstring_view dir);
UiMessage gta_dir_message(std::wstring_view dir, bool valid);
UiMessage install_init_message(std::wstring_view dir, std::wstring_view gta, bool gta_valid, bool reinstall);
UiMessage uninstall_init_message(std::wstring_view dir);
// {"type":"resume",...}: sent after "init" to a page that comes up while a run is under way or
// after one has ended, with the choices the run was started with. "running" puts the page on its
// progress screen; the run's last messages follow.
UiMessage install_resume_message(bool running, bool desktop_shortcut, bool start_menu_shortcut);
UiMessage uninstall_resume_message(bool running, bool remove_resources);

// The "type" of a message built here (the text between {"type":" and the next quote), or empty.
std::wstring_view message_type(std::wstring_view message);

// Window thread. Keeps the messages of a running install or uninstall that a new page needs to
// show the same screen (AppState::run): the last "stage", the last "progress" and the message
// that ended the run. Other messages, and messages while no run is under way, are not kept.
void remember_run_message(const UiMessage& message);

}  // namespace corvane
