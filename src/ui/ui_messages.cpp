#include "ui/ui_messages.h"

#include <memory>
#include <utility>

#include "ui/app_state.h"
#include "os/text.h"
#include "ui/json_text.h"
#include "ui/ui_host.h"

namespace corvane {

void post_to_ui(UiMessage message) {
  auto owned = std::make_unique<std::wstring>(std::move(message));
  const AppState& s = app_state();
  if (!s.window || !s.host) return;
  // When the post fails the host has already freed the text: the message is lost.
  (void)s.host->post_message(WM_UI_MESSAGE, std::move(owned));
}

void send_stage(std::wstring_view stage) { post_to_ui(stage_message(stage)); }

void send_error(std::wstring_view text) { post_to_ui(error_message(text)); }

void send_progress(void* /*context*/, std::uint64_t done, std::uint64_t total, std::uint32_t files,
                   std::uint32_t files_total) {
  post_to_ui(progress_message(done, total, files, files_total));
}

UiMessage stage_message(std::wstring_view stage) {
  return L"{\"type\":\"stage\",\"stage\":" + json_quote(stage) + L"}";
}

UiMessage error_message(std::wstring_view text) {
  return L"{\"type\":\"error\",\"message\":" + json_quote(text) + L"}";
}

UiMessage progress_message(std::uint64_t done, std::uint64_t total, std::uint32_t files,
                           std::uint32_t files_total) {
  // The file counts are written as signed 32-bit numbers.
  return L"{\"type\":\"progress\",\"done\":" + std::to_wstring(done) + L",\"total\":" + std::to_wstring(total) +
         L",\"files\":" + std::to_wstring(static_cast<std::int32_t>(files)) + L",\"filesTotal\":" +
         std::to_wstring(static_cast<std::int32_t>(files_total)) + L"}";
}

UiMessage installed_message(std::string_view version, std::string_view date) {
  return L"{\"type\":\"installed\",\"version\":" + json_quote(os::from_utf8(version)) + L",\"date\":" +
         json_quote(os::from_utf8(date)) + L"}";
}

UiMessage uninstalled_message(const std::vector<std::wstring>& kept) {
  if (kept.empty()) return L"{\"type\":\"uninstalled\"}";
  std::wstring names;
  for (const std::wstring& name : kept) names += (names.empty() ? L"" : L",") + json_quote(name);
  return L"{\"type\":\"uninstalled\",\"kept\":[" + names + L"]}";
}

UiMessage install_dir_message(std::wstring_view dir) {
  return L"{\"type\":\"installDir\",\"dir\":" + json_quote(dir) + L"}";
}

UiMessage gta_dir_message(std::wstring_view dir, bool valid) {
  return L"{\"type\":\"gtaDir\",\"dir\":" + json_quote(dir) + L",\"valid\":" + json_bool(valid) + L"}";
}

UiMessage install_init_message(std::wstring_view dir, std::wstring_view gta, bool gta_valid, bool reinstall) {
  return L"{\"type\":\"init\",\"version\":" + json_quote(kSetupVersion) + L",\"mode\":\"install\",\"dir\":" +
         json_quote(dir) + L",\"gta\":" + json_quote(gta) + L",\"gtaValid\":" + json_bool(gta_valid) +
         L",\"reinstall\":" + json_bool(reinstall) + L"}";
}

UiMessage uninstall_init_message(std::wstring_view dir) {
  return L"{\"type\":\"init\",\"version\":" + json_quote(kSetupVersion) + L",\"mode\":\"uninstall\",\"dir\":" +
         json_quote(dir) + L"}";
}

UiMessage install_resume_message(bool running, bool desktop_shortcut, bool start_menu_shortcut) {
  return L"{\"type\":\"resume\",\"running\":" + json_bool(running) + L",\"desktopShortcut\":" +
         json_bool(desktop_shortcut) + L",\"startMenuShortcut\":" + json_bool(start_menu_shortcut) + L"}";
}

UiMessage uninstall_resume_message(bool running, bool remove_resources) {
  return L"{\"type\":\"resume\",\"running\":" + json_bool(running) + L",\"removeResources\":" +
         json_bool(remove_resources) + L"}";
}

std::wstring_view message_type(std::wstring_view message) {
  constexpr std::wstring_view prefix = L"{\"type\":\"";
  if (message.substr(0, prefix.size()) != prefix) return {};
  message.remove_prefix(prefix.size());
  const std::size_t quote = message.find(L'"');
  return quote == std::wstring_view::npos ? std::wstring_view() : message.substr(0, quote);
}

void remember_run_message(const UiMessage& message) {
  AppState& s = app_state();
  // A worker's messages all arrive while it is busy: it posts its last one before WM_WORKER_DONE.
  if (!s.busy.load() || !s.run.started) return;
  const std::wstring_view type = message_type(message);
  if (type == L"stage") {
    s.run.stage = message;
  } else if (type == L"progress") {
    s.run.progress = message;
  } else if (type == L"installed" || type == L"uninstalled" || type == L"error") {
    s.run.result = message;
  }
}

}  // namespace corvane
