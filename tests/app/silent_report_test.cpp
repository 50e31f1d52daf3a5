#include "app/silent_report.h"

#include <gtest/gtest.h>

#include <string>

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
    RunFailure what;
    int code;
  };
  for (const Case c : {Case{RunFailure::FolderAccess, kSilentFolderNotWritable}, Case{RunFailure::Update, kSilentUpdateFailed},
                       Case{RunFailure::Configure, kSilentConfigureFailed}, Case{RunFailure::Remove, kSilentUninstallFailed}}) {
    ConsoleRunReport report(c.what == RunFailure::Remove);
    const std::string out = printed([&] {
      report.failed(c.what, L"Текст страницы.", c.what == RunFailure::Update ? &update : nullptr);
    });
    EXPECT_EQ(report.exit_code(), c.code);
    if (c.what == RunFailure::Update) {
      EXPECT_EQ(out,
                "[!] Ustanovka prervana: Текст страницы.\n"
                "[!] Ustanovka: obnovlenie zavershilos so statusom 6, fayl bin/a.dll (kod 112).\n");
    } else if (c.what == RunFailure::Remove) {
      EXPECT_EQ(out, "[!] Udalenie ne zaversheno: Текст страницы.\n");
    }
  }
  ConsoleRunReport installed(false);
  EXPECT_EQ(printed([&] { installed.installed("2.0", ""); }), "[*] Ustanovka zavershena: versiya 2.0.\n");
  EXPECT_EQ(installed.exit_code(), kSilentDone);
}

}  // namespace
}  // namespace corvane
