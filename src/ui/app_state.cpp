#include "ui/app_state.h"

namespace corvane {

AppState& app_state() {
  static AppState state;
  return state;
}

void reset_app_state() {
  AppState& s = app_state();
  if (s.worker.joinable()) s.worker.join();
  s.host = nullptr;
  s.window = false;
  s.mode = RunMode::Install;
  s.install_dir.clear();
  s.game_dir.clear();
  s.module_path.clear();
  s.webview = false;
  s.worker = std::thread();
  s.busy.store(false);
  s.cancel_requested.store(false);
  s.close_when_done = false;
  s.uninstall_done = false;
  s.cloaked = false;
  s.zoom = 1.0;
  s.view = ViewLifecycle();
  s.run = RunRecord();
}

}  // namespace corvane
