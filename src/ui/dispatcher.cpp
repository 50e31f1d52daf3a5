#include "ui/dispatcher.h"

#include "ui/app_state.h"
#include "ui/client_dir.h"
#include "ui/host_window.h"
#include "ui/worker.h"
#include "base/paths.h"
#include "game/game_locator.h"
#include "ui/folder_pickers.h"
#include "ui/launch_client.h"
#include "ui/ui_host.h"
#include "ui/ui_messages.h"

namespace corvane {
namespace {

void install_command(const UiCommand& fields, const CommandJobs& jobs) {
  AppState& s = app_state();
  if (fields.size() < 5 || s.mode != RunMode::Install) return;
  // A command dropped because a worker runs leaves the state and the page's screen as they are:
  // the folder of the running install stays the one that "launch" starts later.
  if (s.busy.load()) return;
  // The page sends exactly five fields: more means that a folder held '|' and was cut in two. Its
  // pieces must never be taken for folders of their own.
  if (fields.size() > 5) {
    send_error(folder_refusal(L"|"));
    return;
  }
  const std::wstring page_dir = trim_trailing_slashes(fields[1]);
  if (page_dir.empty()) {
    send_error(L"Не выбрана папка установки.");
    return;
  }
  if (const std::wstring refusal = folder_refusal(page_dir); !refusal.empty()) {
    send_error(refusal);
    return;
  }
  // The folders are the ones this side proposed or the user picked in its dialogs; the page only
  // shows them. A page that holds others (an old page, or a name it changed) is not followed.
  const bool page_has_game = !fields[2].empty();
  if (!paths_equal(page_dir, s.install_dir) ||
      (page_has_game && !paths_equal(trim_trailing_slashes(fields[2]), trim_trailing_slashes(s.game_dir)))) {
    send_error(L"Папки на странице не совпадают с выбранными. Выберите папки ещё раз.");
    return;
  }
  InstallRequest request;
  request.install_dir = s.install_dir;
  // The page sends no game folder when it holds none that is valid.
  if (page_has_game && is_game_dir(s.game_dir)) request.game_dir = trim_trailing_slashes(s.game_dir);
  request.desktop_shortcut = fields[3] == L"1";
  request.start_menu_shortcut = fields[4] == L"1";
  request.module_path = s.module_path;
  request.cancel = &s.cancel_requested;
  RunRecord run;
  run.started = true;
  run.desktop_shortcut = request.desktop_shortcut;
  run.start_menu_shortcut = request.start_menu_shortcut;
  if (start_worker([job = jobs.install, request = std::move(request)] { job(request); })) s.run = std::move(run);
}

void uninstall_command(const UiCommand& fields, const CommandJobs& jobs) {
  AppState& s = app_state();
  if (s.mode != RunMode::Uninstall) return;
  UninstallRequest request;
  request.install_dir = s.install_dir;
  request.remove_resources = fields.size() >= 2 && fields[1] == L"1";
  RunRecord run;
  run.started = true;
  run.remove_resources = request.remove_resources;
  if (start_worker([job = jobs.uninstall, request = std::move(request)] { job(request); })) s.run = std::move(run);
}

void post_to_window(WindowMessage message) { (void)app_state().host->post_message(message, nullptr); }

}  // namespace

UiCommand split_command(std::wstring_view text) {
  UiCommand fields;
  for (;;) {
    const std::size_t bar = text.find(L'|');
    fields.emplace_back(text.substr(0, bar));
    if (bar == std::wstring_view::npos) return fields;
    text.remove_prefix(bar + 1);
  }
}

void dispatch_command(std::wstring_view text, const CommandJobs& jobs) {
  AppState& s = app_state();
  const UiCommand fields = split_command(text);
  const std::wstring& name = fields[0];
  if (name == L"ready") {
    send_init();
  } else if (name == L"show") {
    reveal_window();
  } else if (name == L"drag") {
    post_to_window(WM_START_DRAG);
  } else if (name == L"minimize") {
    s.host->minimize_window();
  } else if (name == L"close") {
    post_to_window(kWindowClose);  // during a run the window stops it first (window_proc)
  } else if (name == L"browseInstall") {
    if (!s.busy.load()) post_to_window(WM_BROWSE_INSTALL);
  } else if (name == L"browseGta") {
    if (!s.busy.load()) post_to_window(WM_BROWSE_GAME);
  } else if (name == L"install") {
    install_command(fields, jobs);
  } else if (name == L"uninstall") {
    uninstall_command(fields, jobs);
  } else if (name == L"launch") {
    // Only a client that this window's install has just put in place is started.
    if (s.busy.load() || message_type(s.run.result) != L"installed") return;
    (void)launch_client(s.install_dir);
    post_to_window(kWindowClose);
  }
}

void send_init() {
  const AppState& s = app_state();
  if (!s.webview) return;
  if (s.mode == RunMode::Install) {
    s.host->post_json_to_page(
        install_init_message(s.install_dir, s.game_dir, is_game_dir(s.game_dir), is_client_dir(s.install_dir)));
  } else {
    s.host->post_json_to_page(uninstall_init_message(s.install_dir));
  }
  // A page that comes up after a run was started (a new view after the old one died) is brought
  // to the screen the old page showed: the run's progress, or how it ended.
  const RunRecord& run = s.run;
  if (!run.started) return;
  const bool running = s.busy.load();
  s.host->post_json_to_page(s.mode == RunMode::Install
                                ? install_resume_message(running, run.desktop_shortcut, run.start_menu_shortcut)
                                : uninstall_resume_message(running, run.remove_resources));
  if (running) {
    if (!run.stage.empty()) s.host->post_json_to_page(run.stage);
    if (!run.progress.empty()) s.host->post_json_to_page(run.progress);
  }
  if (!run.result.empty()) s.host->post_json_to_page(run.result);
}

}  // namespace corvane
