#pragma once
#include <string>
#include <vector>

// The setup's start-up and shut-down, platform-free: the platform's main() makes a UI host and
// hands over the arguments and the executable's path.
namespace corvane {

class UiHost;

// Runs the setup on the calling thread, which becomes the window thread: decides the run mode,
// creates the window with its view, runs the window loop until the window is destroyed and, after
// a successful uninstall, removes its own executable. `args[0]` is the program's name. Returns the
// process exit code: 1 when the window cannot be created, else 0.
int run_setup(UiHost& host, const std::vector<std::wstring>& args, const std::wstring& module_path);

}  // namespace corvane
