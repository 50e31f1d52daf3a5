#include "app/window_proc.h"

#include <chrono>
#include <cstdio>

#include "ui/app_state.h"
#include "ui/host_window.h"
#include "app/window_scale.h"
#include "ui/worker.h"
#include "os/platform.h"
#include "ui/folder_pickers.h"
#include "ui/json_text.h"
#include "ui/ui_messages.h"

namespace corvane {
namespace {

// A runtime without the part for x64 programs: an install for 32-bit programs only, or an ARM64
// machine's own runtime, which this x64 program cannot load.
constexpr wchar_t kRuntimeWithoutX64Text[] =
    L"На компьютере есть компонент Microsoft Edge WebView2, но нет его части для 64-разрядных программ (x64), "
    L"которая нужна установщику.\n\nОткрыть страницу загрузки? Установите компонент для x64, затем запустите "
    L"установщик снова.";
constexpr wchar_t kRuntimeMissingText[] =
    L"Для установщика нужен компонент Microsoft Edge WebView2.\n\n"
    L"Открыть страницу загрузки? После установки компонента запустите установщик снова.";
// Where the user gets the web view runtime: on Windows the runtime's download page; on Linux the
// distribution's page of the WebKitGTK package (Debian 12 here), which says how to install it.
constexpr const wchar_t* kRuntimeDownloadUrl =
    os::kIsWindows ? L"https://go.microsoft.com/fwlink/p/?LinkId=2124703"
                   : L"https://packages.debian.org/bookworm/libwebkit2gtk-4.1-0";

constexpr wchar_t kOtherAccountText[] =
    L"Установщик запущен от имени другой учётной записи, чем та, под которой выполнен вход, и его окну негде "
    L"хранить свои данные. Запустите установщик от своей учётной записи, без «Запуск от имени другого "
    L"пользователя»: права администратора ему не нужны.";
constexpr wchar_t kViewLostText[] = L"Окно установщика перестало отвечать, и восстановить его не удалось.";

void join_worker(AppState& s) {
  if (s.worker.joinable()) s.worker.join();
}

void close_window(AppState& s) { (void)s.host->post_message(kWindowClose, nullptr); }

// An error code as Windows writes HRESULTs: 0x8007007F.
std::wstring error_code_text(std::uint32_t code) {
  wchar_t text[16] = {};
  std::swprintf(text, 16, L"0x%08X", static_cast<unsigned>(code));
  return text;
}

void create_view_again(AppState& s) {
  s.host->release_view();
  s.webview = false;
  s.host->create_view(s.zoom);
}

// The view cannot be brought back. Without a run the window closes; during one it closes by
// itself once the run has ended (WM_WORKER_DONE), which the user is told of.
void give_up_view(AppState& s) {
  s.host->kill_timer(VIEW_RETRY_TIMER_ID);
  s.host->release_view();
  s.webview = false;
  const bool running = s.busy.load();
  std::wstring text = kViewLostText;
  if (!running) {
    text += L" Запустите установщик снова.";
  } else if (s.mode == RunMode::Install) {
    text += L" Установка продолжается: окно закроется само, когда она завершится.";
  } else {
    text += L" Удаление продолжается: окно закроется само, когда оно завершится.";
  }
  s.host->message_box(text, MessageBoxKind::Error);
  if (!running) close_window(s);
}

// How the run ended, for a window whose page could not be shown: the page's own words.
void tell_run_outcome(const AppState& s) {
  const std::wstring_view type = message_type(s.run.result);
  if (type == L"installed") {
    s.host->message_box(L"Мультиплеер успешно установлен.", MessageBoxKind::Information);
  } else if (type == L"uninstalled") {
    s.host->message_box(L"Corvane удалён.", MessageBoxKind::Information);
  } else if (type == L"error") {
    // {"type":"error","message":"..."}: the text of the message as the user would have read it.
    constexpr std::wstring_view prefix = L"{\"type\":\"error\",\"message\":";
    s.host->message_box(json_unquote(std::wstring_view(s.run.result).substr(prefix.size())), MessageBoxKind::Error);
  }
}

// The session ends (logoff, shutdown): the system ends the process once this returns. The view's
// browser processes are let go of now. Without a run the window closes as usual; a run under way
// is not waited for (that would hold up the logoff until the system kills the process anyway): it
// is cut where it stands, and the next update run finds the replacement journal and recovers.
void end_session(AppState& s) {
  s.host->kill_timer(REVEAL_TIMER_ID);
  s.host->kill_timer(VIEW_RETRY_TIMER_ID);
  s.host->kill_timer(VIEW_PING_TIMER_ID);
  s.host->release_view();
  s.webview = false;
  if (!s.busy.load()) s.host->destroy_window();
}

// A close while a worker runs: an install is asked to stop (its update run gives up the download
// and replaces nothing; a replacement under way is finished), an uninstall is let finish, since
// files it has removed cannot come back. Either way the window closes once the worker has ended,
// and the page says meanwhile what it waits for.
void close_after_run(AppState& s) {
  if (s.close_when_done) return;
  s.close_when_done = true;
  if (s.mode == RunMode::Install) s.cancel_requested.store(true);
  if (s.webview) {
    s.host->post_json_to_page(s.mode == RunMode::Install ? L"{\"type\":\"closing\",\"cancel\":true}"
                                                         : L"{\"type\":\"closing\",\"cancel\":false}");
  }
}

void carry_out(AppState& s, ViewLifecycle::Next next) {
  switch (next) {
    case ViewLifecycle::Next::Nothing:
      break;
    case ViewLifecycle::Next::Retry:
      s.host->set_timer(VIEW_RETRY_TIMER_ID, kViewRetryDelayMs);
      break;
    case ViewLifecycle::Next::RuntimePrompt:
      show_runtime_missing();
      break;
    case ViewLifecycle::Next::CreationError:
      s.host->message_box(s.view.failure().status == ViewStatus::OtherAccount
                              ? std::wstring(kOtherAccountText)
                              : L"Не удалось открыть окно установщика (код " +
                                    error_code_text(s.view.failure().error) +
                                    L"). Закройте другие копии установщика и запустите его снова.",
                          MessageBoxKind::Error);
      close_window(s);
      break;
    case ViewLifecycle::Next::Recreate:
      create_view_again(s);
      break;
    case ViewLifecycle::Next::Reload:
      // The new page asks for the state ("ready") and is brought back to the run's screen.
      if (!s.host->reload_view()) create_view_again(s);
      break;
    case ViewLifecycle::Next::Ping:
      s.host->ping_view();
      s.host->set_timer(VIEW_PING_TIMER_ID, kViewPingTimeoutMs);
      break;
    case ViewLifecycle::Next::GiveUp:
      give_up_view(s);
      break;
  }
}

}  // namespace

bool window_proc(WindowMessage message, std::uintptr_t wparam, std::unique_ptr<std::wstring> text) {
  AppState& s = app_state();
  switch (message) {
    case WM_UI_MESSAGE:
      if (!text) return true;
      remember_run_message(*text);  // kept even while the view is being made anew
      if (s.webview) s.host->post_json_to_page(*text);
      return true;
    case kWindowDestroy:
      join_worker(s);
      s.host->release_view();
      s.webview = false;
      s.host->quit_message_loop();
      return true;
    case kWindowClose:
      if (s.busy.load()) {
        close_after_run(s);
      } else {
        s.host->destroy_window();
      }
      return true;
    case kWindowTimer:
      if (wparam == REVEAL_TIMER_ID) {
        reveal_window();
      } else if (wparam == VIEW_RETRY_TIMER_ID) {
        s.host->kill_timer(VIEW_RETRY_TIMER_ID);
        if (s.view.take_retry()) create_view_again(s);
      } else if (wparam == VIEW_PING_TIMER_ID) {
        s.host->kill_timer(VIEW_PING_TIMER_ID);
        carry_out(s, s.view.ping_timed_out(ViewLifecycle::Clock::now()));
      }
      return true;
    case WM_WORKER_DONE:
      join_worker(s);
      s.busy.store(false);
      s.host->set_shutdown_reason(L"");
      if (s.view.given_up()) tell_run_outcome(s);
      if (s.close_when_done || s.view.given_up()) close_window(s);
      return true;
    case WM_START_DRAG:
      s.host->start_drag();
      return true;
    case WM_BROWSE_INSTALL:
      browse_install_folder();
      return true;
    case WM_BROWSE_GAME:
      browse_game_folder();
      return true;
    case WM_VIEW_FAILED:
      carry_out(s, s.view.view_died(ViewLifecycle::Clock::now()));
      return true;
    case WM_VIEW_UNAVAILABLE:
      carry_out(s, s.view.creation_failed());
      return true;
    case WM_VIEW_RENDERER_EXITED:
      carry_out(s, s.view.renderer_exited(ViewLifecycle::Clock::now()));
      return true;
    case WM_VIEW_UNRESPONSIVE:
      carry_out(s, s.view.unresponsive(ViewLifecycle::Clock::now()));
      return true;
    case WM_VIEW_ANSWERED:
      s.view.ping_answered();
      s.host->kill_timer(VIEW_PING_TIMER_ID);
      return true;
    case kWindowEndSession:
      if (wparam) end_session(s);
      return true;
    default:
      return false;
  }
}

void on_view_created(const ViewResult& result) {
  AppState& s = app_state();
  if (result.status == ViewStatus::Created) {
    s.webview = true;
    s.view.created();
    return;
  }
  // Handled once the host's completion handler has returned: a message box must not run inside it.
  s.view.report_failure(result);
  (void)s.host->post_message(WM_VIEW_UNAVAILABLE, nullptr);
}

void show_runtime_missing() {
  AppState& s = app_state();
  UiHost& host = *s.host;
  const bool without_x64 = s.view.failure().status == ViewStatus::RuntimeWithoutX64;
  if (host.message_box(without_x64 ? kRuntimeWithoutX64Text : kRuntimeMissingText, MessageBoxKind::YesNoWarning) ==
      MessageBoxAnswer::Yes) {
    host.open_url(kRuntimeDownloadUrl);
  }
  (void)host.post_message(kWindowClose, nullptr);
}

ScreenRect placement_on_monitor(std::uint32_t dpi, const ScreenRect& work_area) {
  const bool install = app_state().mode == RunMode::Install;
  const WindowScale scale = compute_window_scale(work_area, install ? kInstallPageWidth : kUninstallPageWidth,
                                                 install ? kInstallPageHeight : kUninstallPageHeight, dpi);
  return window_placement(work_area, scale);
}

double view_zoom_for(std::int32_t width, std::int32_t height, double rasterization_scale) {
  AppState& s = app_state();
  const bool install = s.mode == RunMode::Install;
  const double zoom = page_zoom(width, height, install ? kInstallPageWidth : kUninstallPageWidth,
                                install ? kInstallPageHeight : kUninstallPageHeight, rasterization_scale);
  if (zoom > 0) s.zoom = zoom;
  return s.zoom;
}

bool session_may_end() {
  AppState& s = app_state();
  if (!s.busy.load()) return true;
  s.host->set_shutdown_reason(shutdown_reason(s.mode));
  return false;
}

}  // namespace corvane
