#pragma once
#include <atomic>
#include <string>

// What an install or an uninstall run is given: built by the dispatcher from the page's commands
// (or by the run without a window from its command line) and owned by the run once it starts.
namespace corvane {

struct InstallRequest {
  std::wstring install_dir;  // trimmed, never empty
  std::wstring game_dir;     // trimmed; empty when the page's folder holds no game
  bool desktop_shortcut = true;
  bool start_menu_shortcut = true;
  // Full path of the running setup program: copied into the folder as its uninstaller, unless it
  // already runs from there, and kept out of the folder checks.
  std::wstring module_path;
  // Read by the update run while it downloads; true asks it to stop. Null: never asked.
  const std::atomic<bool>* cancel = nullptr;
};

struct UninstallRequest {
  std::wstring install_dir;       // a copy of AppState::install_dir
  bool remove_resources = false;  // also remove "client_resources"
};

}  // namespace corvane
