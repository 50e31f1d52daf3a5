#include "app/window_proc.h"

#include "app/app_state.h"
#include "app/host_window.h"
#include "os/platform.h"
#include "ui/folder_pickers.h"

namespace corvane {
namespace {

constexpr wchar_t kRuntimeMissingText[] =
    L"Для установщика нужен компонент Microsoft Edge WebView2.\n\n"
    L"Открыть страницу загрузки? После установки компонента запустите установщик снова.";
// Where the user gets the web view runtime: on Windows the runtime's download page; on Linux the
// distribution's page of the WebKitGTK package (Debian 12 here), which says how to install it.
constexpr const wchar_t* kRuntimeDownloadUrl =
    os::kIsWindows ? L"https://go.microsoft.com/fwlink/p/?LinkId=2124703"
                   : L"https://packages.debian.org/bookworm/libwebkit2gtk-4.1-0";

void join_worker(AppState& s) {
  if (s.worker.joinable()) s.worker.join();
}

}  // namespace

bool window_proc(WindowMessage message, std::uintptr_t wparam, std::unique_ptr<std::wstring> text) {
  AppState& s = app_state();
  switch (message) {
    case WM_UI_MESSAGE:
      if (s.webview && text) s.host->post_json_to_page(*text);
      return true;
    case kWindowDestroy:
      join_worker(s);
      s.host->release_view();
      s.webview = false;
      s.host->quit_message_loop();
      return true;
    case kWindowClose:
      if (!s.busy.load()) s.host->destroy_window();
      return true;
    case kWindowTimer:
      if (wparam == REVEAL_TIMER_ID) reveal_window();
      return true;
    case WM_WORKER_DONE:
      join_worker(s);
      s.busy.store(false);
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
    default:
      return false;
  }
}

void on_view_created(bool created) {
  if (created) {
    app_state().webview = true;
  } else {
    show_runtime_missing();
  }
}

void show_runtime_missing() {
  UiHost& host = *app_state().host;
  if (host.message_box(kRuntimeMissingText, MessageBoxKind::YesNoWarning) == MessageBoxAnswer::Yes) {
    host.open_url(kRuntimeDownloadUrl);
  }
  (void)host.post_message(kWindowClose, nullptr);
}

}  // namespace corvane
