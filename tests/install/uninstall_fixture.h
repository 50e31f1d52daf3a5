#pragma once
#include <string>

#include "base/paths.h"
#include "install/programs_entry.h"
#include "install/shortcuts.h"
#include "install_env.h"
#include "os/registry.h"

namespace corvane::test {

// A client as an install leaves it: files and folders among its names (a read-only file deep in
// "bin"), its resources, both shortcuts and the programs-list entry.
class Uninstall : public InstallEnv {
 protected:
  void SetUp() override {
    InstallEnv::SetUp();
    if (IsSkipped()) return;
    make_dirs(client_ + L"/bin/deep/er");
    for (const wchar_t* name : {L"Corvane.exe", L"GTA5.exe", L"config.json", L"launcher.json", L"game_args.txt",
                                L"uninstall.exe", L"gta_path.txt", L"Corvane.exe.crvnold"}) {
      write_text(join_path(client_, name), "file");
    }
    write_text(client_ + L"/bin/deep/er/locked.dll", "ro");
    make_read_only(client_ + L"/bin/deep/er/locked.dll");
    for (const wchar_t* name : {L"data", L"logs", L"update", L"webview", L"cache", L"client_resources"}) {
      make_dirs(join_path(client_, name) + L"/sub");
      write_text(join_path(client_, name) + L"/sub/f", "x");
    }
    InstallRequest request{client_, L"", true, true};
    ASSERT_TRUE(create_shortcut(desktop_shortcut_path(), client_ + L"/Corvane.exe", request));
    ASSERT_TRUE(create_shortcut(start_menu_shortcut_path(), client_ + L"/Corvane.exe", request));
    ASSERT_TRUE(write_programs_entry(request, "1.0"));
  }

  bool entry_exists() const {
    return !os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, L"InstallLocation").empty();
  }
  bool shortcuts_exist() const { return path_exists(desktop_link()) || path_exists(programs_link()); }

  std::wstring client_ = root_ / L"Games/Corvane";
};

}  // namespace corvane::test
