#include "app/silent_command.h"

#include <tuple>

#include "base/paths.h"
#include "install/folder_access.h"
#include "os/text.h"

namespace corvane {
namespace {

bool is_switch(std::wstring_view arg, std::wstring_view name) { return os::equal_ignoring_case(arg, name); }

// The value of "<name><value>" (name with its '='), or nothing when `arg` is not that switch.
bool switch_value(std::wstring_view arg, std::wstring_view name, std::wstring& value) {
  if (arg.size() < name.size() || !os::equal_ignoring_case(arg.substr(0, name.size()), name)) return false;
  value = std::wstring(arg.substr(name.size()));
  return true;
}

std::string quoted(std::wstring_view arg) { return "\"" + os::to_utf8(arg) + "\""; }

// An argument that is one of this command line's own switches (with or without its value).
bool is_known_switch(std::wstring_view arg) {
  std::wstring value;
  return is_switch(arg, L"/S") || is_switch(arg, L"/uninstall") || is_switch(arg, L"/NODESKTOP") ||
         is_switch(arg, L"/NOSTARTMENU") || switch_value(arg, L"/D=", value) || switch_value(arg, L"/GTA=", value) ||
         switch_value(arg, L"/LOG=", value);
}

}  // namespace

bool is_silent_command(const std::vector<std::wstring>& args) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (is_switch(args[i], L"/S")) return true;
  }
  return false;
}

std::string parse_silent_command(const std::vector<std::wstring>& args, const std::wstring& module_path,
                                 SilentCommand& command) {
  command = SilentCommand{};
  command.uninstall = os::equal_ignoring_case(file_name_of(module_path), L"uninstall.exe");
  std::string problem;
  const auto refuse = [&problem](std::string text) {
    if (problem.empty()) problem = std::move(text);
  };
  bool silent = false;
  bool uninstall_flag = false;
  bool client_dir_given = false;
  bool game_dir_given = false;
  bool log_given = false;
  bool no_desktop = false;
  bool no_start_menu = false;
  std::wstring install_only;  // the first install switch, for the uninstall's refusal
  std::wstring folder;        // the uninstall's folder argument
  // A switch given twice is refused: its second value would silently win over the first.
  const auto once = [&](bool& seen, std::wstring_view arg) {
    if (seen) refuse("parametr " + quoted(arg) + " ukazan dvazhdy");
    seen = true;
  };
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    std::wstring value;
    if (is_switch(arg, L"/S")) {
      once(silent, arg);
    } else if (is_switch(arg, L"/uninstall")) {
      once(uninstall_flag, arg);
      command.uninstall = true;
    } else if (switch_value(arg, L"/D=", value)) {
      // As installers take it, an unquoted folder with spaces is still one folder: the pieces that
      // the command line was split into at its spaces belong to it, up to the next switch.
      while (i + 1 < args.size() && !is_known_switch(args[i + 1])) {
        value += L' ';
        value += args[++i];
      }
      once(client_dir_given, L"/D=");
      command.client_dir = trim_trailing_slashes(value);
      if (install_only.empty()) install_only = L"/D=";
    } else if (switch_value(arg, L"/GTA=", value)) {
      once(game_dir_given, L"/GTA=");
      command.game_dir = trim_trailing_slashes(value);
      if (install_only.empty()) install_only = L"/GTA=";
    } else if (switch_value(arg, L"/LOG=", value)) {
      once(log_given, L"/LOG=");
      command.log_path = value;
    } else if (is_switch(arg, L"/NODESKTOP")) {
      once(no_desktop, arg);
      command.desktop_shortcut = false;
      if (install_only.empty()) install_only = arg;
    } else if (is_switch(arg, L"/NOSTARTMENU")) {
      once(no_start_menu, arg);
      command.start_menu_shortcut = false;
      if (install_only.empty()) install_only = arg;
    } else if (command.uninstall && folder.empty() && !arg.empty()) {
      // As in the window's command line: the first argument after the uninstall flag (or after
      // the name of an "uninstall.exe") is the client folder.
      folder = arg;
    } else {
      refuse("neizvestnyy parametr " + quoted(arg));
    }
  }
  if (command.uninstall) command.client_dir = trim_trailing_slashes(folder);
  for (const auto& [given, name, path] :
       {std::tuple{client_dir_given, L"/D=", &command.client_dir}, std::tuple{game_dir_given, L"/GTA=", &command.game_dir},
        std::tuple{log_given, L"/LOG=", &command.log_path}}) {
    if (!given) continue;
    if (path->empty()) {
      refuse(os::to_utf8(name) + " bez znacheniya");
    } else if (!is_fully_qualified(*path)) {
      refuse(os::to_utf8(name) + " trebuet polnogo puti, a ne " + quoted(*path));
    }
  }
  if (!silent) refuse("net klyucha /S");
  if (command.uninstall && !install_only.empty()) {
    refuse("parametr " + quoted(install_only) + " otnositsya tolko k ustanovke");
  }
  if (command.uninstall && !folder.empty() && !is_fully_qualified(command.client_dir)) {
    refuse("papka klienta trebuet polnogo puti, a ne " + quoted(folder));
  }
  return problem;
}

}  // namespace corvane
