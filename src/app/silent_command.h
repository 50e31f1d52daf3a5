#pragma once
#include <string>
#include <vector>

// The command line of a run without a window, the one for scripted set-ups:
//   install:    /S [/D=<client folder>] [/GTA=<game folder>] [/NODESKTOP] [/NOSTARTMENU] [/LOG=<file>]
//   uninstall:  /S [/LOG=<file>] as "uninstall.exe", or /uninstall <client folder> /S [/LOG=<file>]
// Switches are matched with letter case ignored and may come in any order. "/D=", "/GTA=" and
// "/LOG=" take the rest of their argument, spaces included, and want a full path. "/D=" may also be
// left unquoted, as installers conventionally allow: the pieces after it up to the next switch are
// joined back with single spaces. Unlike the window's command line, which passes over what it does not know,
// this one refuses anything it cannot read: a script must not install somewhere it did not mean.
namespace corvane {

struct SilentCommand {
  bool uninstall = false;           // "/uninstall", or the executable is named "uninstall.exe"
  std::wstring client_dir;          // "/D=", or the folder after "/uninstall"; trimmed; may be empty
  std::wstring game_dir;            // "/GTA=", trimmed; empty: the locator's
  bool desktop_shortcut = true;     // false with "/NODESKTOP"
  bool start_menu_shortcut = true;  // false with "/NOSTARTMENU"
  std::wstring log_path;            // "/LOG="; empty: no log
};

// One of the arguments after the program's name is "/S" (any letter case).
bool is_silent_command(const std::vector<std::wstring>& args);

// Reads `args` (`args[0]` is the program's name) of a run whose executable is `module_path`.
// Empty when the command line is valid; else what is wrong with it, one line of transliterated
// Russian as the console lines are. Even then `command` holds what could be read (the log path
// among it, so the refusal can be logged).
std::string parse_silent_command(const std::vector<std::wstring>& args, const std::wstring& module_path,
                                 SilentCommand& command);

}  // namespace corvane
