#include "app/run_modes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/relaunch.h"
#include "base/paths.h"
#include "config/launcher_config.h"
#include "install/programs_entry.h"
#include "os/known_folders.h"
#include "os/platform.h"
#include "os/process_spawn.h"
#include "os/registry.h"
#include "os/text.h"
#include "run_modes_fixture.h"

namespace corvane {
namespace {

using test::RunModes;

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
  test::remove_all(client_ + L"/Corvane.exe");  // only the setup's uninstaller left: still a client
  test::make_dirs(parent_dir(setup_));
  test::write_text(setup_, "the setup program");
  test::write_text(client_ + L"/uninstall.exe", "the setup program");
  EXPECT_TRUE(parse({L"/uninstall", client_}, setup_));
  EXPECT_TRUE(host.boxes.empty());
  // Another program's uninstaller beside the user's files makes no client folder of it.
  test::write_text(client_ + L"/uninstall.exe", "another program's uninstaller");
  test::make_dirs(client_ + L"/data");
  test::write_text(client_ + L"/data/thesis.odt", "mine");
  EXPECT_FALSE(parse({L"/uninstall", client_}, setup_));
  EXPECT_EQ(host.boxes, std::vector<std::wstring>{L"Клиент не найден в указанной папке."});
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
  {
    test::ScopedFsFault full([](os::FsOp op, std::wstring_view, std::wstring_view) {
      return op == os::FsOp::Copy ? os::kErrorDiskFull : os::kErrorSuccess;
    });
    EXPECT_FALSE(parse({}, uninstaller));
  }
  EXPECT_EQ(host.boxes, std::vector<std::wstring>{L"Не удалось запустить удаление."});
  EXPECT_TRUE(copies_in(temp_).empty());

  EXPECT_FALSE(parse({}, uninstaller));
  EXPECT_TRUE(host.boxes.empty());
  // A copy of its own was started in the temporary folder with two arguments.
  EXPECT_EQ(test::wait_for_launch_record(temp_), "/uninstall\n" + os::to_utf8(client_) + "\n");
  const std::vector<std::wstring> copies = copies_in(temp_);
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(test::read_text(copies[0]), test::read_text(test::record_launch_program()));
  std::vector<os::DirEntry> entries;
  ASSERT_TRUE(os::list_directory(temp_, entries));
  EXPECT_EQ(entries.size(), 2u);  // the copy and its record, no staging files
}

TEST_F(RunModes, OverlappingRelaunchesRunCopiesOfTheirOwnAndEachDeletesOnlyItself) {
  const std::wstring uninstaller = client_ + L"/uninstall.exe";
  test::install_record_launch_program(uninstaller);
  const std::wstring record = temp_ + L"/launch-record.txt";
  // The copies keep running until the first one has finished.
  const std::wstring hold = temp_ + L"/" + test::kHoldFileName;
  test::write_text(hold, "");
  struct Release {
    std::wstring hold;
    ~Release() { test::remove_all(hold); }
  } release{hold};
  EXPECT_FALSE(parse({}, uninstaller));
  ASSERT_TRUE(test::wait_for_launch_record(temp_));
  const std::vector<std::wstring> first = copies_in(temp_);
  ASSERT_EQ(first.size(), 1u);
  test::remove_all(record);
  EXPECT_FALSE(parse({}, uninstaller));  // a second uninstall while the first copy still runs
  ASSERT_TRUE(test::wait_for_launch_record(temp_));
  std::vector<std::wstring> both = copies_in(temp_);
  ASSERT_EQ(both.size(), 2u);
  // The first copy finishes its uninstall and deletes its own file at exit.
  test::remove_all(hold);
  app_state().module_path = first[0];
  schedule_self_delete();
  // On Windows the file goes a moment later, once the program would have ended.
  const auto asked = std::chrono::steady_clock::now();
  while (copies_in(temp_).size() > 1 && std::chrono::steady_clock::now() - asked < std::chrono::seconds(30)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(copies_in(temp_), std::vector<std::wstring>{both[0] == first[0] ? both[1] : both[0]});
}

TEST_F(RunModes, ACopyThatCannotBePlacedInTheTemporaryFolderRunsFromTheUsersOwnFolder) {
  const std::wstring uninstaller = client_ + L"/uninstall.exe";
  test::install_record_launch_program(uninstaller);
  const std::wstring local = os::known_folder_path(os::KnownFolder::LocalAppData);
  ASSERT_FALSE(local.empty());
  // On Linux below this test's own HOME; on Windows the user's real folder, cleared around the test.
  const std::wstring own = join_path(local, L"Corvane-Setup");
  test::remove_all(own);
  struct Cleared {
    std::wstring folder;
    ~Cleared() { test::remove_all(folder); }
  } cleared{own};
  {
    const std::wstring temp = temp_;
    test::ScopedFsFault refused([temp](os::FsOp op, std::wstring_view, std::wstring_view to) {
      return op == os::FsOp::Copy && to.starts_with(temp) ? os::kErrorAccessDenied : os::kErrorSuccess;
    });
    EXPECT_FALSE(parse({}, uninstaller));
  }
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_TRUE(copies_in(temp_).empty());
  EXPECT_EQ(test::wait_for_launch_record(own), "/uninstall\n" + os::to_utf8(client_) + "\n");
  EXPECT_EQ(copies_in(own).size(), 1u);
}

TEST_F(RunModes, CopiesOfEarlierUninstallsThatNoLongerRunAreRemovedByTheNextOne) {
  const std::wstring uninstaller = client_ + L"/uninstall.exe";
  test::install_record_launch_program(uninstaller);
  // Two copies left by uninstalls that were never confirmed, and one that still runs.
  const std::wstring idle = temp_ + L"/Corvane-Uninstall-0badc0de.exe";
  const std::wstring idle_upper = temp_ + L"/Corvane-Uninstall-DEADBEEF.exe";
  test::install_record_launch_program(idle);
  test::install_record_launch_program(idle_upper);
  const std::wstring running = temp_ + L"/Corvane-Uninstall-12345678.exe";
  test::install_record_launch_program(running);
  const std::wstring running_dir = root_ / L"running";
  test::make_dirs(running_dir);
  const std::wstring hold = running_dir + L"/" + test::kHoldFileName;
  test::write_text(hold, "");
  struct Release {
    std::wstring hold;
    ~Release() { test::remove_all(hold); }
  } release{hold};
  ASSERT_TRUE(os::start_process(running, {L"--running"}, running_dir, false));
  ASSERT_EQ(test::wait_for_launch_record(running_dir), "--running\n");
  // Names that are not those of copies, and a folder with a copy's name.
  const std::vector<std::wstring> others = {temp_ + L"/Corvane-Uninstall-1234567.exe",
                                            temp_ + L"/Corvane-Uninstall-1234567g.exe",
                                            temp_ + L"/Corvane-Uninstall-12345678.exe.txt", temp_ + L"/notes.txt"};
  for (const std::wstring& other : others) test::write_text(other, "keep");
  test::make_dirs(temp_ + L"/Corvane-Uninstall-abcdef01.exe");

  EXPECT_FALSE(parse({}, uninstaller));
  ASSERT_EQ(test::wait_for_launch_record(temp_), "/uninstall\n" + os::to_utf8(client_) + "\n");
  // Everything but the idle copies stays, and the new copy is the one name more.
  std::vector<std::wstring> after = copies_in(temp_);
  EXPECT_TRUE(std::find(after.begin(), after.end(), running) != after.end());
  EXPECT_FALSE(path_exists(idle));
  EXPECT_FALSE(path_exists(idle_upper));
  for (const std::wstring& other : others) EXPECT_TRUE(path_exists(other)) << os::to_utf8(other);
  EXPECT_TRUE(dir_exists(temp_ + L"/Corvane-Uninstall-abcdef01.exe"));
  std::erase(after, running);
  std::erase(after, temp_ + L"/Corvane-Uninstall-abcdef01.exe");
  for (const std::wstring& other : others) std::erase(after, other);
  EXPECT_EQ(after.size(), 1u);
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
