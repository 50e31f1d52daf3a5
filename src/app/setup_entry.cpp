#include "app/setup_entry.h"

#include "ui/app_state.h"
#include "ui/host_window.h"
#include "app/relaunch.h"
#include "app/run_modes.h"
#include "app/window_scale.h"
#include "os/shell.h"
#include "ui/ui_host.h"

namespace corvane {

int run_setup(UiHost& host, const std::vector<std::wstring>& args, const std::wstring& module_path) {
  AppState& s = app_state();
  s.host = &host;
  const os::ThreadApartment apartment;
  if (!parse_command_line(args, module_path)) return 0;

  const bool install = s.mode == RunMode::Install;
  const ScreenRect work_area = host.work_area();
  const WindowScale scale =
      compute_window_scale(work_area, install ? kInstallPageWidth : kUninstallPageWidth,
                           install ? kInstallPageHeight : kUninstallPageHeight, host.system_dpi());
  s.zoom = scale.zoom;
  if (!host.create_window(window_placement(work_area, scale))) return 1;
  s.window = true;

  // Shown at once but hidden from view until the page has drawn itself ("show") or the reveal
  // timer fires.
  set_cloaked(true);
  host.show_window();
  host.set_timer(REVEAL_TIMER_ID, kRevealDelayMs);
  host.create_view(s.zoom);
  host.run_message_loop();

  // The loop normally ends on destruction, which has joined the worker; should it end otherwise,
  // the worker is joined here before its result is read.
  if (s.worker.joinable()) s.worker.join();
  if (s.mode == RunMode::Uninstall && s.uninstall_done) schedule_self_delete();
  return 0;
}

}  // namespace corvane
