#pragma once
#include <string>
#include <vector>

#include "install/install_run.h"

// The setup without a window ("/S", see app/silent_command.h): the same install and uninstall
// jobs as the window's, with their reports printed as lines and their outcome as the exit code
// (app/silent_report.h). No window, no view and no WebView2 runtime are needed. Runs on the
// calling thread.
namespace corvane {

// Runs the command line `args` (`args[0]` is the program's name) of the executable `module_path`
// and returns the process's exit code, a SilentExitCode. After a successful uninstall the
// executable removes its own file, as the window's uninstall does.
int run_silent_setup(const std::vector<std::wstring>& args, const std::wstring& module_path);

// The same with another update step in place of the release channel's update run (tests).
int run_silent_setup(const std::vector<std::wstring>& args, const std::wstring& module_path,
                     const UpdateStep& update);

}  // namespace corvane
