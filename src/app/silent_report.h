#pragma once
#include <cstdint>
#include <string_view>

#include "install/run_report.h"

// How a run without a window reports: one line per event on standard output (which a
// ReportOutput copies to the console and the log), in the transliterated Russian of the update
// engine's lines; the Russian texts the page would show are printed as they are. It turns the
// run's outcome into the process's exit code.
namespace corvane {

// The exit codes of the setup run without a window ("/S"), documented in README.md.
enum SilentExitCode : int {
  kSilentDone = 0,                // installed, or removed (or the uninstaller's copy took over)
  kSilentBadCommandLine = 2,      // a switch unknown, repeated, empty or not a full path; no log
  kSilentNoGameFolder = 3,        // "/GTA=" is no game folder, or the locator found none
  kSilentFolderNotWritable = 4,   // the client folder cannot be used, made or written
  kSilentUpdateFailed = 5,        // the download, its check or the replacement failed
  kSilentBusy = 6,                // another setup without a window or an update run is running
  kSilentConfigureFailed = 7,     // launcher.json or the programs-list entry could not be written
  kSilentNoClient = 8,            // uninstall: no client in that folder
  kSilentUninstallFailed = 9,     // uninstall: names left behind, or the copy could not start
};

// Prints a line built with printf's `format` and flushes standard output.
void print_line(const char* format, ...);

class ConsoleRunReport final : public RunReport {
 public:
  explicit ConsoleRunReport(bool uninstall) : uninstall_(uninstall) {}

  void stage(std::wstring_view stage) override;
  // A line at each tenth of the download's bytes, not at every report.
  void progress(std::uint64_t done, std::uint64_t total, std::uint32_t files, std::uint32_t files_total) override;
  void failed(RunError error, std::wstring_view folder, const UpdateResult* update) override;
  void installed(std::string_view version, std::string_view date) override;
  void uninstalled(const std::vector<std::wstring>& kept) override;

  // kSilentDone once the run succeeded, the failure's code once it failed; kSilentUpdateFailed
  // before the run has ended.
  int exit_code() const { return exit_code_; }

 private:
  bool uninstall_;
  int exit_code_ = kSilentUpdateFailed;
  int last_tenth_ = -1;
};

}  // namespace corvane
