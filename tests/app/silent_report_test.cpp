#include "app/silent_report.h"

#include <gtest/gtest.h>

#include <string>

#include "os/text.h"
#include "ui/error_text.h"

namespace corvane {
namespace {

// What `report` printed while `act` ran.
template <typename Act>
std::string printed(Act act) {
  ::testing::internal::CaptureStdout();
  act();
  return ::testing::internal::GetCapturedStdout();
}

TEST(ConsoleRunReport, ProgressPrintsALinePerTenthNotPerReport) {
  ConsoleRunReport report(/*uninstall=*/false);
  const std::string out = printed([&] {
    for (const std::uint64_t done : {0, 5, 15, 19, 15, 99, 100, 100}) report.progress(done, 100, 1, 4);
  });
  EXPECT_EQ(out,
            "[*] Ustanovka: zagruzheno 0%, 1/4 faylov.\n"
            "[*] Ustanovka: zagruzheno 10%, 1/4 faylov.\n"
            "[*] Ustanovka: zagruzheno 90%, 1/4 faylov.\n"
            "[*] Ustanovka: zagruzheno 100%, 1/4 faylov.\n");
}

TEST(ConsoleRunReport, TheOutcomeChoosesTheExitCode) {
  const UpdateResult update{kStatusWriteFailed, "1.0", "", "bin/a.dll", 112};
  struct Case {
    RunError error;
    int code;
  };
  for (const Case c : {Case{RunError::GameFolder, kSilentFolderNotWritable},
                       Case{RunError::ForeignFolder, kSilentFolderNotWritable},
                       Case{RunError::FolderNotWritable, kSilentFolderNotWritable},
                       Case{RunError::UninstallerNotWritten, kSilentFolderNotWritable},
                       Case{RunError::Update, kSilentUpdateFailed}, Case{RunError::GamePathNotStored, kSilentConfigureFailed},
                       Case{RunError::ProgramsEntryNotWritten, kSilentConfigureFailed},
                       Case{RunError::UninstallInGameFolder, kSilentUninstallFailed},
                       Case{RunError::NotAllRemoved, kSilentUninstallFailed}}) {
    const bool uninstall = c.code == kSilentUninstallFailed;
    const UpdateResult* result = c.error == RunError::Update ? &update : nullptr;
    ConsoleRunReport report(uninstall);
    const std::string out = printed([&] { report.failed(c.error, L"/c", result); });
    EXPECT_EQ(report.exit_code(), c.code);
    // The page's text, as the page shows it.
    std::string expected = (uninstall ? "[!] Udalenie ne zaversheno: " : "[!] Ustanovka prervana: ") +
                           os::to_utf8(run_error_text(c.error, L"/c", result)) + "\n";
    if (result != nullptr) expected += "[!] Ustanovka: obnovlenie zavershilos so statusom 6, fayl bin/a.dll (kod 112).\n";
    EXPECT_EQ(out, expected);
  }
  ConsoleRunReport installed(false);
  EXPECT_EQ(printed([&] { installed.installed("2.0", ""); }), "[*] Ustanovka zavershena: versiya 2.0.\n");
  EXPECT_EQ(installed.exit_code(), kSilentDone);
}

}  // namespace
}  // namespace corvane
