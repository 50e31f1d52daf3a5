#pragma once
#include <string>

// The parameters of the two worker jobs, built by the dispatcher from the page's commands and
// owned by the worker once it runs.
namespace corvane {

struct InstallRequest {
  std::wstring install_dir;  // trimmed, never empty
  std::wstring game_dir;     // trimmed; empty when the page's folder holds no game
  bool desktop_shortcut = true;
  bool start_menu_shortcut = true;
};

struct UninstallRequest {
  std::wstring install_dir;       // a copy of AppState::install_dir
  bool remove_resources = false;  // also remove "client_resources"
};

}  // namespace corvane
