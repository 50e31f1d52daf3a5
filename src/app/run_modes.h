#pragma once
#include <string>
#include <vector>

// The run mode and the folders, decided from the command line before any window exists.
namespace corvane {

// Reads the arguments (`args[0]` is the program's name) and the executable's path, records
// both in AppState and decides the mode:
//   - "/uninstall" (any letter case) or an executable named "uninstall.exe" (any letter case)
//     selects uninstall mode; in uninstall mode the first argument after the flag is the client
//     folder; arguments before the flag and after the folder are ignored;
//   - uninstall mode with a folder: that folder (trimmed) must hold a client;
//   - uninstall mode without one: the executable's own folder; when it holds a client the
//     program is relaunched from a copy in the temporary folder;
//   - install mode proposes the registered or default client folder and a game folder.
// True to go on and show the window. False to end with exit code 0; any message box has then
// been shown through the host.
bool parse_command_line(const std::vector<std::wstring>& args, const std::wstring& module_path);

}  // namespace corvane
