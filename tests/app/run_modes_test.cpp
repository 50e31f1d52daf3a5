#include "app/run_modes.h"

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/record_launch.h"
#include "config/launcher_config.h"
#include "install/install_env.h"
#include "install/programs_entry.h"
#include "os/registry.h"
#include "os/text.h"

namespace corvane {
namespace {

class RunModes : public test::InstallEnv {
 protected:
  RunModes() {
    test::make_dirs(temp_);
    test::make_dirs(client_);
    test::make_dirs(setup_dir_);
    test::write_text(client_ + L"/Corvane.exe", "client");
  }

  bool parse(std::vector<std::wstring> args, const std::wstring& module_path) {
    args.insert(args.begin(), module_path);
    return parse_command_line(args, module_path);
  }

  std::wstring temp_ = root_ / L"tmp";
  std::wstring client_ = root_ / L"Games/Corvane";
  std::wstring setup_dir_ = root_ / L"Downloads";
  std::wstring setup_ = root_ / L"Downloads/Corvane-Setup.exe";
  test::ScopedEnv tmpdir_{"TMPDIR", os::to_utf8(temp_)};
};

TEST_F(RunModes, TheFlagInAnyCaseWithAFolderOpensTheUninstallWindow) {
  EXPECT_TRUE(parse({L"/UNINSTALL", client_ + L"/"}, setup_));
  EXPECT_EQ(app_state().mode, RunMode::Uninstall);
  EXPECT_EQ(app_state().install_dir, client_);
  EXPECT_EQ(app_state().module_path, setup_);
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(RunModes, OnlyTheFirstArgumentAfterTheFlagIsTheFolder) {
  EXPECT_TRUE(parse({L"/uninstall", client_, root_ / L"other"}, setup_));
  EXPECT_EQ(app_state().install_dir, client_);
  // A folder that holds only the uninstaller is still a client folder.
  test::remove_all(client_ + L"/Corvane.exe");
  test::write_text(client_ + L"/uninstall.exe", "");
  reset_app_state();
  app_state().host = &host;
  EXPECT_TRUE(parse({L"/uninstall", client_}, setup_));
  EXPECT_EQ(app_state().mode, RunMode::Uninstall);
}

TEST_F(RunModes, AFolderWithoutAClientEndsWithABox) {
  EXPECT_FALSE(parse({L"/uninstall", root_ / L"elsewhere"}, setup_));
  EXPECT_EQ(host.boxes, std::vector<std::wstring>{L"Клиент не найден в указанной папке."});
  EXPECT_EQ(host.box_kinds.at(0), MessageBoxKind::Error);
}

TEST_F(RunModes, AnArgumentBeforeTheFlagIsNoFolder) {
  // No folder argument: the executable's own folder, which holds no client.
  EXPECT_FALSE(parse({client_, L"/uninstall"}, setup_));
  EXPECT_EQ(host.boxes, std::vector<std::wstring>{L"Клиент не найден в этой папке."});
  EXPECT_EQ(app_state().install_dir, setup_dir_);
}

TEST_F(RunModes, TheNamedUninstallerTakesItsFirstArgumentAsTheFolder) {
  // The name alone sets the flag, so the very first argument is the folder.
  EXPECT_TRUE(parse({client_, L"/uninstall", root_ / L"other"}, root_ / L"Downloads/UNINSTALL.exe"));
  EXPECT_EQ(app_state().install_dir, client_);
}

TEST_F(RunModes, TheUninstallerInItsClientFolderRelaunchesFromTheTempFolder) {
  const std::wstring uninstaller = client_ + L"/Uninstall.EXE";
  test::install_record_launch_program(uninstaller);
  test::write_text(temp_ + L"/Corvane-Uninstall.exe", "stale");
  EXPECT_FALSE(parse({}, uninstaller));
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(test::wait_for_launch_record(temp_), "/uninstall\n" + os::to_utf8(client_) + "\n");
  EXPECT_EQ(test::read_text(temp_ + L"/Corvane-Uninstall.exe"), test::read_text(test::record_launch_program()));
}

TEST_F(RunModes, ARelaunchThatFailsEndsWithABox) {
  test::install_record_launch_program(client_ + L"/uninstall.exe");
  test::ScopedFsFault full([](os::FsOp op, std::wstring_view, std::wstring_view) {
    return op == os::FsOp::Copy ? os::kErrorDiskFull : os::kErrorSuccess;
  });
  EXPECT_FALSE(parse({}, client_ + L"/uninstall.exe"));
  EXPECT_EQ(host.boxes, std::vector<std::wstring>{L"Не удалось запустить удаление."});
}

TEST_F(RunModes, InstallModeProposesTheRegisteredClientAndItsGame) {
  EXPECT_TRUE(parse({L"D:\\x"}, setup_));
  EXPECT_EQ(app_state().mode, RunMode::Install);
  EXPECT_EQ(app_state().install_dir, home() + L"/Corvane");
  EXPECT_EQ(app_state().game_dir, L"");

  // A registered client whose launcher.json names a game folder that still holds the game.
  const std::wstring game = root_ / L"GTA V";
  test::make_dirs(game);
  test::write_text(game + L"/GTA5.exe", "");
  ASSERT_TRUE(store_game_path(client_, game));
  {
    os::RegistryKey key;
    ASSERT_TRUE(key.create(os::RegistryRoot::CurrentUser, kProgramsKey));
    ASSERT_TRUE(key.set_string(L"InstallLocation", client_ + L"/"));
  }
  EXPECT_TRUE(parse({}, setup_));
  EXPECT_EQ(app_state().install_dir, client_);
  EXPECT_EQ(app_state().game_dir, game);
}

}  // namespace
}  // namespace corvane
