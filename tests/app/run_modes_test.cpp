#include "app/run_modes.h"

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/record_launch.h"
#include "base/paths.h"
#include "config/launcher_config.h"
#include "install/install_env.h"
#include "install/programs_entry.h"
#include "os/platform.h"
#include "os/process_spawn.h"
#include "os/registry.h"
#include "os/text.h"

namespace corvane {
namespace {

class RunModes : public test::InstallEnv {
 protected:
  RunModes() {
    test::make_dirs(temp_);
    test::make_dirs(client_);
    test::write_text(client_ + L"/Corvane.exe", "client");
  }

  // Parses `args` after the program's name, as a fresh process would.
  bool parse(std::vector<std::wstring> args, const std::wstring& module_path) {
    reset_app_state();
    app_state().host = &host;
    host.boxes.clear();
    args.insert(args.begin(), module_path);
    return parse_command_line(args, module_path);
  }

  std::wstring temp_ = root_ / L"tmp";
  std::wstring client_ = root_ / L"Games/Corvane";
  std::wstring setup_ = root_ / L"Downloads/Corvane-Setup.exe";
  test::ScopedEnv tmpdir_{test::kTempDirVariable, os::to_utf8(temp_)};
};

TEST_F(RunModes, UninstallArgumentsChooseTheFolder) {
  EXPECT_TRUE(parse({L"/UNINSTALL", client_ + L"/"}, setup_));
  EXPECT_EQ(app_state().mode, RunMode::Uninstall);
  EXPECT_EQ(app_state().install_dir, client_);
  EXPECT_EQ(app_state().module_path, setup_);
  EXPECT_TRUE(parse({L"/uninstall", client_, root_ / L"other"}, setup_));  // later ones are ignored
  EXPECT_EQ(app_state().install_dir, client_);
  // A named uninstaller needs no flag, so its very first argument is the folder.
  EXPECT_TRUE(parse({client_, L"/uninstall", root_ / L"other"}, root_ / L"Downloads/UNINSTALL.exe"));
  EXPECT_EQ(app_state().install_dir, client_);
  test::remove_all(client_ + L"/Corvane.exe");  // only the uninstaller left: still a client
  test::write_text(client_ + L"/uninstall.exe", "");
  EXPECT_TRUE(parse({L"/uninstall", client_}, setup_));
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(RunModes, FoldersWithoutAClientEndWithABox) {
  EXPECT_FALSE(parse({L"/uninstall", root_ / L"elsewhere"}, setup_));
  EXPECT_EQ(host.boxes, std::vector<std::wstring>{L"Клиент не найден в указанной папке."});
  // An argument before the flag is no folder: the executable's own folder holds no client.
  EXPECT_FALSE(parse({client_, L"/uninstall"}, setup_));
  EXPECT_EQ(host.boxes, std::vector<std::wstring>{L"Клиент не найден в этой папке."});
  EXPECT_EQ(host.calls, (std::vector<std::string>{"error box", "error box"}));
}

TEST_F(RunModes, TheUninstallerInItsClientFolderRelaunchesFromTheTempFolder) {
  const std::wstring uninstaller = client_ + L"/Uninstall.EXE";
  test::install_record_launch_program(uninstaller);
  test::write_text(temp_ + L"/Corvane-Uninstall.exe", "stale");
  {
    test::ScopedFsFault full([](os::FsOp op, std::wstring_view, std::wstring_view) {
      return op == os::FsOp::Copy ? os::kErrorDiskFull : os::kErrorSuccess;
    });
    EXPECT_FALSE(parse({}, uninstaller));
  }
  EXPECT_EQ(host.boxes, std::vector<std::wstring>{L"Не удалось запустить удаление."});
  EXPECT_EQ(test::read_text(temp_ + L"/Corvane-Uninstall.exe"), "stale");

  EXPECT_FALSE(parse({}, uninstaller));
  EXPECT_TRUE(host.boxes.empty());
  // The copy replaced the stale one and was started in the temporary folder with two arguments.
  EXPECT_EQ(test::wait_for_launch_record(temp_), "/uninstall\n" + os::to_utf8(client_) + "\n");
  EXPECT_EQ(test::read_text(temp_ + L"/Corvane-Uninstall.exe"), test::read_text(test::record_launch_program()));
  std::vector<os::DirEntry> entries;
  ASSERT_TRUE(os::list_directory(temp_, entries));
  EXPECT_EQ(entries.size(), 2u);  // the copy and its record, no staging files
}

TEST_F(RunModes, InstallModeProposesTheRegisteredClientAndItsGame) {
  EXPECT_TRUE(parse({L"D:\\x"}, setup_));
  EXPECT_EQ(app_state().mode, RunMode::Install);
  EXPECT_EQ(app_state().install_dir, unregistered_install_dir());
  EXPECT_EQ(app_state().game_dir, L"");

  const std::wstring game = root_ / L"GTA V";
  test::make_dirs(game);
  test::write_text(game + L"/GTA5.exe", "");
  ASSERT_TRUE(store_game_path(client_, game));
  os::RegistryKey key;
  ASSERT_TRUE(key.create(os::RegistryRoot::CurrentUser, kProgramsKey));
  ASSERT_TRUE(key.set_string(L"InstallLocation", client_ + L"/"));
  EXPECT_TRUE(parse({}, setup_));
  EXPECT_EQ(app_state().install_dir, client_);
  EXPECT_EQ(app_state().game_dir, game);
}

TEST(ModulePath, IsTheRunningExecutablesFullPath) {
  const std::wstring path = os::module_file_path();
  EXPECT_EQ(file_name_of(path), os::kIsWindows ? L"corvane_app_tests.exe" : L"corvane_app_tests");
  const bool full = os::kIsWindows ? path.size() > 3 && path.substr(1, 2) == L":\\" : path.starts_with(L"/");
  EXPECT_TRUE(full && path_exists(path)) << os::to_utf8(path);
}

}  // namespace
}  // namespace corvane
