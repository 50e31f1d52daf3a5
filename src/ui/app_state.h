#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "ui/view_lifecycle.h"

// The one process-wide state of the setup, shared by the entry, the window procedure, the page
// protocol and the folder pickers.
namespace corvane {

class UiHost;

enum class RunMode : std::uint32_t { Install = 0, Uninstall = 1 };

// The setup's own version, sent to the page in "init".
inline constexpr wchar_t kSetupVersion[] = L"1.0";

// The run of this process as the page was last told of it, so that a new page (a view made anew
// after its processes died) can be brought back to the same screen. Window thread.
struct RunRecord {
  // An install or uninstall run was started; the choices it was started with.
  bool started = false;
  bool desktop_shortcut = true;
  bool start_menu_shortcut = true;
  bool remove_resources = true;
  // The last "stage" and "progress" messages of the run, and the message that ended it
  // ("installed", "uninstalled" or "error"); empty when none came.
  std::wstring stage;
  std::wstring progress;
  std::wstring result;
};

struct AppState {
  // The platform's window host; set once by the entry before anything else runs.
  UiHost* host = nullptr;
  // The host window exists. Main thread, once.
  bool window = false;
  // Decided by parse_command_line before the window exists.
  RunMode mode = RunMode::Install;
  // The client folder (to install into, or to remove) and the GTA V folder (empty when none is
  // known), as trim_trailing_slashes leaves them. Start-up, later the window thread.
  std::wstring install_dir;
  std::wstring game_dir;
  // Full path of the running executable. Start-up, once.
  std::wstring module_path;
  // The page's view exists. Window thread: set when the host reports it, cleared on destroy.
  bool webview = false;
  // The one worker thread (install or uninstall). Window thread only.
  std::thread worker;
  // A worker has been started and not yet joined. Written by the window thread only.
  std::atomic<bool> busy{false};
  // The window was asked to close while a worker ran: the install run is asked to stop
  // (cancel_requested, which the update run reads on the worker thread), the uninstall run is let
  // finish, and the window closes once the worker has been joined. Both reset when a worker starts.
  std::atomic<bool> cancel_requested{false};
  bool close_when_done = false;  // window thread
  // The uninstall worker finished with success; read by the main thread only after the worker
  // has been joined.
  bool uninstall_done = false;
  // The window is still hidden from view. Window thread.
  bool cloaked = false;
  // The zoom factor given to the view. Start-up; again when the window changes monitors.
  double zoom = 1.0;
  // The view's creation, its recovery and when to stop trying. Window thread.
  ViewLifecycle view;
  // What the page was shown of the run. Window thread.
  RunRecord run;
};

// The process's AppState.
AppState& app_state();

// Joins a leftover worker and puts every field back to its initial value. For a fresh start-up
// in tests; never while a window exists.
void reset_app_state();

}  // namespace corvane
