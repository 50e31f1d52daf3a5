#include "app/run_modes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "app/app_state.h"
#include "app/record_launch.h"
#include "app/relaunch.h"
#include "base/paths.h"
#include "config/launcher_config.h"
#include "install/install_env.h"
#include "install/programs_entry.h"
#include "os/platform.h"
#include "os/process_spawn.h"
#include "os/registry.h"
#include "os/text.h"
#include "support/child_process.h"

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

  // The uninstaller copies in `folder`, by full path, in name order.
  static std::vector<std::wstring> copies_in(const std::wstring& folder) {
    std::vector<std::wstring> copies;
    std::vector<os::DirEntry> entries;
    if (!os::list_directory(folder, entries)) return copies;
    for (const os::DirEntry& e : entries) {
      if (e.name.starts_with(L"Corvane-Uninstall-") && e.name.ends_with(L".exe")) copies.push_back(folder + L"/" + e.name);
    }
    std::sort(copies.begin(), copies.end());
    return copies;
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
  app_state().module_path = first[0];
  schedule_self_delete();
  EXPECT_EQ(copies_in(temp_), std::vector<std::wstring>{both[0] == first[0] ? both[1] : both[0]});
}

TEST_F(RunModes, AnotherUsersFileInASharedTemporaryFolderDoesNotStopTheRelaunch) {
  if (::geteuid() != 0) GTEST_SKIP() << "placing another user's file needs root";
  const std::wstring uninstaller = client_ + L"/uninstall.exe";
  test::install_record_launch_program(uninstaller);
  test::give_to_unprivileged_user(root_.path());
  // A shared temporary folder like /tmp (root's, sticky, writable by all) where root, for this
  // user "another user", left a file only it may open under the name an older setup used.
  const std::string temp = os::to_utf8(temp_);
  ASSERT_EQ(::chown(temp.c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(temp.c_str(), 01777), 0);
  const std::wstring theirs = temp_ + L"/Corvane-Uninstall.exe";
  test::write_text(theirs, "theirs");
  ASSERT_EQ(::chmod(os::to_utf8(theirs).c_str(), 0600), 0);
  const int code = test::run_as_unprivileged_user([&] { return parse({}, uninstaller) || !host.boxes.empty(); });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(test::wait_for_launch_record(temp_), "/uninstall\n" + os::to_utf8(client_) + "\n");
  EXPECT_TRUE(test::read_text(theirs) == "theirs");
}

TEST_F(RunModes, WhereTheTemporaryFolderCannotRunProgramsTheCopyRunsFromTheUsersOwnFolder) {
  const std::wstring uninstaller = client_ + L"/uninstall.exe";
  test::install_record_launch_program(uninstaller);
  constexpr int kCannotMount = 77;
  const int code = test::run_in_mount_namespace([&] {
    if (!test::mount_tmpfs(temp_, /*noexec=*/true)) return kCannotMount;
    if (parse({}, uninstaller) || !host.boxes.empty()) return 1;
    return copies_in(temp_).empty() ? 0 : 2;  // the copy that could not start is gone
  });
  if (code == test::kNoMountNamespace || code == kCannotMount) {
    GTEST_SKIP() << "cannot mount a noexec temporary folder here (code " << code << ")";
  }
  EXPECT_EQ(code, 0);
  const std::wstring own = home() + L"/.local/share/Corvane-Setup";
  EXPECT_EQ(test::wait_for_launch_record(own), "/uninstall\n" + os::to_utf8(client_) + "\n");
  EXPECT_EQ(copies_in(own).size(), 1u);
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
