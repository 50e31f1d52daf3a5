// The install and uninstall runs with the real engine as Windows sees what they leave: the
// programs-list values read back, both shell links resolved to the client, launcher.json and the
// uninstaller in the folder; then the uninstall takes every one of them away.
#include <windows.h>

#include <gtest/gtest.h>

#include "game/game_locator.h"
#include "install/programs_entry.h"
#include "install/uninstall.h"
#include "install_engine_fixture.h"
#include "os/registry.h"
#include "support/shell_link_win32.h"

namespace corvane {
namespace {

using test::InstallWithEngine;

TEST_F(InstallWithEngine, WindowsSeesEveryTraceOfTheInstallAndNoneAfterTheUninstall) {
  const std::wstring game = root_ / L"Grand Theft Auto V";
  test::make_dirs(game);
  test::write_text(game + L"\\GTA5.exe", "MZ");
  request_.game_dir = game;
  install();
  const std::wstring dir = request_.install_dir;
  const std::wstring client = dir + L"\\Corvane.exe";
  EXPECT_EQ(test::read_text(client), std::string(300000, 'c'));
  EXPECT_EQ(test::read_text(dir + L"\\uninstall.exe"), "the release's uninstaller");

  const auto text = [](const wchar_t* name) {
    return os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, name);
  };
  const auto number = [](const wchar_t* name) {
    return os::read_registry_dword(os::RegistryRoot::CurrentUser, kProgramsKey, name);
  };
  EXPECT_EQ(text(L"DisplayName"), L"Corvane");
  EXPECT_EQ(text(L"DisplayVersion"), L"3.1.0");
  EXPECT_EQ(text(L"Publisher"), L"Corvane");
  EXPECT_EQ(text(L"DisplayIcon"), L"\"" + client + L"\",0");
  EXPECT_EQ(text(L"InstallLocation"), dir);
  EXPECT_EQ(text(L"UninstallString"), L"\"" + dir + L"\\uninstall.exe\" /uninstall");
  EXPECT_EQ(number(L"NoModify"), 1u);
  EXPECT_EQ(number(L"NoRepair"), 1u);
  EXPECT_EQ(number(L"EstimatedSize"), folder_size(dir) / 1024);

  for (const std::wstring& link : {desktop_link(), programs_link()}) {
    const auto loaded = test::load_shell_link(link);
    ASSERT_TRUE(loaded) << os::to_utf8(link);
    EXPECT_EQ(loaded->target, client) << os::to_utf8(link);
    EXPECT_EQ(loaded->working_dir, dir);
  }

  // launcher.json holds the release's version and the game folder.
  const std::string launcher = test::read_text(dir + L"\\launcher.json");
  EXPECT_NE(launcher.find("3.1.0"), std::string::npos) << launcher;
  EXPECT_EQ(saved_game_dir(dir), game) << launcher;

  run_uninstall(dir, true, page_report());
  EXPECT_EQ(take_page_messages(), std::vector<std::wstring>{L"{\"type\":\"uninstalled\"}"});
  EXPECT_FALSE(path_exists(dir));
  EXPECT_FALSE(path_exists(desktop_link()));
  EXPECT_FALSE(path_exists(programs_link()));
  EXPECT_EQ(text(L"DisplayName"), L"");
  EXPECT_FALSE(number(L"EstimatedSize"));
  HKEY key = nullptr;
  EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, std::wstring(kProgramsKey).c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
}

}  // namespace
}  // namespace corvane
