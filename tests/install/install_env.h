#pragma once
#include <string>

#include "os/file.h"
#include "os/platform.h"
#include "os/shell.h"
#include "support/fs_extras.h"
#include "support/temp_dir.h"
#include "support/user_state.h"
#include "ui/host_fixture.h"
#include "ui/page_report.h"

namespace corvane::test {

// A user profile of its own: on Linux HOME, XDG_DATA_HOME (the registry store and the Programs
// folder), XDG_CONFIG_HOME and XDG_DATA_DIRS (the machine's data folder) point into a temporary
// folder; on Windows the real programs-list key, game records and shortcuts are cleared before and
// after the test (FixedUserState). The AppState talks to a RecordingHost.
class InstallEnv : public HostFixture {
 protected:
  void SetUp() override {
    if (!user_state_.refusal().empty()) GTEST_SKIP() << user_state_.refusal();
  }

  TempDir root_;
  ScopedEnv home_env_{"HOME", root_.utf8() + "/home"};
  ScopedEnv data_env_{"XDG_DATA_HOME", root_.utf8() + "/home/.local/share"};
  ScopedEnv config_env_{"XDG_CONFIG_HOME", root_.utf8() + "/home/.config"};
  ScopedEnv data_dirs_env_{"XDG_DATA_DIRS", root_.utf8() + "/machine"};
  FixedUserState user_state_;
  // COM for this thread, as the install and uninstall workers have it (shell links need it).
  os::ThreadApartment apartment_;

  std::wstring home() const { return root_ / L"home"; }
  std::wstring desktop_link() const {
    return os::kIsWindows ? system_desktop_folder() + L"\\Corvane.lnk" : root_ / L"home/Desktop/Corvane.desktop";
  }
  std::wstring programs_link() const {
    return os::kIsWindows ? system_programs_folder() + L"\\Corvane.lnk"
                          : root_ / L"home/.local/share/applications/Corvane.desktop";
  }
  // The install folder proposed when no client is registered: C:\Corvane, or Corvane in HOME.
  std::wstring unregistered_install_dir() const { return os::kIsWindows ? L"C:\\Corvane" : home() + L"/Corvane"; }
};

}  // namespace corvane::test
