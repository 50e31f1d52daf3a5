#include "app/silent_setup.h"

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "ui/app_state.h"
#include "app/relaunch.h"
#include "app/silent_command.h"
#include "app/silent_report.h"
#include "base/paths.h"
#include "game/game_locator.h"
#include "install/folder_access.h"
#include "install/install_location.h"
#include "install/install_target.h"
#include "install/uninstall.h"
#include "os/process.h"
#include "os/report_output.h"
#include "os/shell.h"
#include "os/text.h"
#include "os/update_lock.h"
#include "ui/folder_pickers.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

// Held by every setup run without a window for its whole length, so that a second one does not run
// beside it.
constexpr std::wstring_view kSetupLockName = L"Local\\CRVN_setup";
// How long a handover waits for the other program: the uninstaller copy joining the console, the
// uninstaller that started the copy ending.
constexpr auto kHandoverWait = 10s;

constexpr const char* kUsage =
    "    Corvane-Setup.exe /S [/D=<papka klienta>] [/GTA=<papka GTA V>] [/NODESKTOP] [/NOSTARTMENU]"
    " [/LOG=<fayl>]\n"
    "    uninstall.exe /S [/LOG=<fayl>]\n"
    "    Corvane-Setup.exe /uninstall <papka klienta> /S [/LOG=<fayl>]\n";

std::string utf8(std::wstring_view text) { return os::to_utf8(text); }

// The setup lock, held from here to the end of the run; nothing when another run holds it or an
// update run holds the update lock (which is let go again at once: the install's own update run
// takes it). A lock that cannot be had for another reason does not stop the run: the update run
// refuses to go on without its lock by itself.
std::optional<os::UpdateLock> take_setup_lock() {
  os::UpdateLock setup(kSetupLockName, os::LockWait::No);
  if (!setup.owned() && setup.error() == os::kErrorLockHeld) return std::nullopt;
  {
    const os::UpdateLock update(os::kUpdateLockName, os::LockWait::No);
    if (!update.owned() && update.error() == os::kErrorLockHeld) return std::nullopt;
  }
  return setup;
}

int busy() {
  print_line("[!] Uzhe idet drugaya ustanovka, udalenie ili obnovlenie klienta; povtorite pozzhe.\n");
  return kSilentBusy;
}

int silent_install(const SilentCommand& command, const UpdateStep& update) {
  AppState& s = app_state();
  s.mode = RunMode::Install;
  const std::optional<os::UpdateLock> lock = take_setup_lock();
  if (!lock) return busy();
  // The folders the window's form would propose, where the command line names none.
  const std::wstring install_dir = command.client_dir.empty() ? default_install_dir() : command.client_dir;
  if (install_dir.empty()) {
    print_line("[!] Ustanovka prervana: papku klienta predlozhit nechego, ukazhite ee v /D=.\n");
    return kSilentFolderNotWritable;
  }
  if (const std::wstring refusal = folder_refusal(install_dir); !refusal.empty()) {
    print_line("[!] Ustanovka prervana: %s\n", utf8(refusal).c_str());
    return kSilentFolderNotWritable;
  }
  std::wstring game_dir = command.game_dir;
  if (!game_dir.empty() && !is_game_dir(game_dir)) {
    print_line("[!] V papke %s net GTA V (GTA5.exe); ukazhite papku igry v /GTA=.\n", utf8(game_dir).c_str());
    return kSilentNoGameFolder;
  }
  if (game_dir.empty()) game_dir = find_game_dir(install_dir);
  if (game_dir.empty()) {
    print_line("[!] Papka GTA V ne naydena; ukazhite ee v /GTA=.\n");
    return kSilentNoGameFolder;
  }
  s.install_dir = install_dir;
  s.game_dir = game_dir;
  print_line("[*] Ustanovka v papku %s, papka GTA V: %s.\n", utf8(install_dir).c_str(), utf8(game_dir).c_str());

  const InstallRequest request{install_dir, game_dir, command.desktop_shortcut, command.start_menu_shortcut,
                               s.module_path, &s.cancel_requested};
  ConsoleRunReport report(/*uninstall=*/false);
  if (update) {
    run_install(request, update, report);
  } else {
    run_install(request, report);
  }
  return report.exit_code();
}

// The uninstaller that started this copy may still be ending, and on Windows the file of a running
// program cannot be removed: wait (a while) until no program runs from that folder's uninstaller.
void wait_for_uninstaller_to_end(const std::wstring& client_dir) {
  const std::wstring uninstaller = join_path(client_dir, L"uninstall.exe");
  const os::ProcessId self = os::current_process_id();
  const auto deadline = std::chrono::steady_clock::now() + kHandoverWait;
  while (std::chrono::steady_clock::now() < deadline) {
    std::vector<os::ProcessId> ids;
    if (!os::list_process_ids(ids)) return;
    bool running = false;
    for (const os::ProcessId id : ids) {
      if (id != self && paths_equal(os::process_image_path(id), uninstaller)) running = true;
    }
    if (!running) return;
    std::this_thread::sleep_for(100ms);
  }
}

int silent_uninstall_here(const SilentCommand& command) {
  AppState& s = app_state();
  s.install_dir = command.client_dir;
  // The folder named on the command line must be one that this client or its setup made: an
  // "uninstall.exe" of another program does not make it one.
  if (!is_setup_client_dir(s.install_dir, s.module_path)) {
    print_line("[!] Klient ne nayden v papke %s.\n", utf8(s.install_dir).c_str());
    return kSilentNoClient;
  }
  const std::optional<os::UpdateLock> lock = take_setup_lock();
  if (!lock) return busy();
  wait_for_uninstaller_to_end(s.install_dir);
  print_line("[*] Udalenie klienta iz papki %s.\n", utf8(s.install_dir).c_str());
  ConsoleRunReport report(/*uninstall=*/true);
  // The window's default choice: the resources go too.
  if (run_uninstall(s.install_dir, /*remove_resources=*/true, report)) s.uninstall_done = true;
  return report.exit_code();
}

// Until the started program has joined this process's console (a program without a console can
// attach only to its parent's, while the parent runs), or a while has passed.
void wait_for_console_handover(std::size_t processes_before) {
  if (processes_before == 0) return;
  const auto deadline = std::chrono::steady_clock::now() + kHandoverWait;
  while (os::console_process_count() <= processes_before && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(50ms);
  }
}

}  // namespace

int run_silent_setup(const std::vector<std::wstring>& args, const std::wstring& module_path) {
  return run_silent_setup(args, module_path, UpdateStep());
}

int run_silent_setup(const std::vector<std::wstring>& args, const std::wstring& module_path,
                     const UpdateStep& update) {
  AppState& s = app_state();
  s.module_path = module_path;
  SilentCommand command;
  const std::string problem = parse_silent_command(args, module_path, command);
  const std::wstring log = is_fully_qualified(command.log_path) ? command.log_path : std::wstring();
  auto output = std::make_unique<os::ReportOutput>(log);
  print_line("[*] Corvane Setup %s: %s bez okna.\n", utf8(kSetupVersion).c_str(),
             command.uninstall ? "udalenie" : "ustanovka");
  int code = kSilentDone;
  if (output->log_error() != os::kErrorSuccess) {
    print_line("[!] Ne udalos otkryt zhurnal %s (kod %u).\n", utf8(log).c_str(),
               static_cast<unsigned>(output->log_error()));
    code = kSilentBadCommandLine;
  } else if (!problem.empty()) {
    print_line("[!] Komandnaya stroka: %s.\n%s", problem.c_str(), kUsage);
    code = kSilentBadCommandLine;
  } else if (command.uninstall && command.client_dir.empty()) {
    // The uninstaller inside the client folder cannot remove the folder it runs from: a copy in
    // the temporary folder does the work, reporting to the same console and log.
    s.mode = RunMode::Uninstall;
    s.install_dir = parent_dir(module_path);
    if (!is_setup_client_dir(s.install_dir, module_path)) {
      print_line("[!] Klient ne nayden v papke %s.\n", utf8(s.install_dir).c_str());
      code = kSilentNoClient;
    } else {
      print_line("[*] Udalenie prodolzhit kopiya programmy udaleniya iz vremennoy papki.\n");
      const std::size_t console_before = os::console_process_count();
      // The copy inherits standard output as it was before this run took it over.
      output.reset();
      std::vector<std::wstring> pass_on = {L"/S"};
      if (!log.empty()) pass_on.push_back(L"/LOG=" + log);
      if (relaunch_from_temp(pass_on)) {
        wait_for_console_handover(console_before);
        return kSilentDone;
      }
      output = std::make_unique<os::ReportOutput>(log);
      print_line("[!] Ne udalos zapustit udalenie.\n");
      code = kSilentUninstallFailed;
    }
  } else {
    const os::ThreadApartment apartment;
    if (command.uninstall) {
      s.mode = RunMode::Uninstall;
      code = silent_uninstall_here(command);
    } else {
      code = silent_install(command, update);
    }
  }
  print_line("[*] Kod zaversheniya: %d.\n", code);
  output.reset();
  if (s.mode == RunMode::Uninstall && s.uninstall_done) schedule_self_delete();
  return code;
}

}  // namespace corvane
