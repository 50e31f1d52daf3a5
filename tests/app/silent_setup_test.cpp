// The setup without a window ("/S") in this process, with the real update engine against a
// release served on 127.0.0.1 (a port the system chose): the window's install and uninstall jobs,
// their lines in the log and the exit code of every outcome.
#include "app/silent_setup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/silent_report.h"
#include "base/paths.h"
#include "config/launcher_config.h"
#include "game/game_locator.h"
#include "install/client_release.h"
#include "install/install_env.h"
#include "install/programs_entry.h"
#include "os/registry.h"
#include "os/text.h"
#include "os/update_lock.h"
#include "test_cdn.h"
#include "ui/error_text.h"

namespace corvane {
namespace {

class SilentSetup : public test::InstallEnv {
 protected:
  void SetUp() override {
    test::InstallEnv::SetUp();
    if (IsSkipped()) return;
    ASSERT_NO_FATAL_FAILURE(test::build_client_release(root_, corvane_exe_));
    ASSERT_TRUE(server_.start(os::to_utf8(root_ / L"cdn")));
    test::make_dirs(game_);
    test::write_text(game_ + L"/GTA5.exe", "");
    test::make_dirs(root_ / L"logs");
    test::make_dirs(root_ / L"Downloads");
    test::write_text(setup_, "the setup program");
  }

  // One run of the program `module` with `args` after its name, against the test server.
  int run(std::vector<std::wstring> args, const std::wstring& module) {
    args.insert(args.begin(), module);
    const std::string base_url = server_.base_url();
    return run_silent_setup(args, module, [&](const std::wstring& dir, UpdateResult& result, ProgressCallback progress) {
      return run_update_with_base_url(base_url, dir, L"", &result, progress, "release");
    });
  }
  int run(std::vector<std::wstring> args) { return run(std::move(args), setup_); }

  std::string log() const { return test::read_text(log_); }
  bool logged(const std::string& line) const { return log().find(line) != std::string::npos; }
  std::wstring entry(const wchar_t* name) const {
    return os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, name);
  }

  const std::string corvane_exe_ = std::string(300000, 'c');
  test::TempDir runtime_;  // the update and setup locks
  test::ScopedEnv runtime_env_{"XDG_RUNTIME_DIR", runtime_.utf8()};
  test_cdn::Server server_;
  const std::wstring game_ = root_ / L"Games/GTA V";
  const std::wstring client_ = root_ / L"My Games/Corvane";
  const std::wstring setup_ = root_ / L"Downloads/Corvane-Setup.exe";
  const std::wstring log_ = root_ / L"logs/setup.log";
};

TEST_F(SilentSetup, InstallsAsTheWindowDoesThenRemovesItAgain) {
  ASSERT_EQ(run({L"/S", L"/D=" + client_, L"/GTA=" + game_, L"/LOG=" + log_}), kSilentDone) << log();
  EXPECT_EQ(test::read_text(client_ + L"/Corvane.exe"), corvane_exe_);
  EXPECT_EQ(test::read_text(client_ + L"/bin/core.dll"), "core");
  EXPECT_EQ(test::read_text(client_ + L"/uninstall.exe"), "the release's uninstaller");
  EXPECT_EQ(saved_game_dir(client_), game_);
  EXPECT_TRUE(path_exists(desktop_link()));
  EXPECT_TRUE(path_exists(programs_link()));
  EXPECT_EQ(entry(L"DisplayVersion"), L"3.1.0");
  EXPECT_EQ(entry(L"InstallLocation"), client_);
  // The run's lines and the engine's, in the order printed, and the exit code.
  const std::string text = log();
  const std::vector<std::string> in_order = {
      "[*] Corvane Setup 1.0: ustanovka bez okna.\n",
      "[*] Ustanovka v papku " + os::to_utf8(client_) + ", papka GTA V: " + os::to_utf8(game_) + ".\n",
      "[*] Ustanovka: gotovim papku klienta.\n",
      "[*] Ustanovka: zagruzhaem klient.\n",
      "[*] Dostupna versiya 3.1.0 ot 2024-07-01, obnovlyaem 3 faylov...\n",
      "[*] Ustanovka: zagruzheno 100%, 3/3 faylov.\n",
      "[*] Klient obnovlen do versii 3.1.0 ot 2024-07-01.\n",
      "[*] Ustanovka: nastraivaem klient.\n",
      "[*] Ustanovka zavershena: versiya 3.1.0 ot 2024-07-01.\n",
      "[*] Kod zaversheniya: 0.\n"};
  std::size_t at = 0;
  for (const std::string& line : in_order) {
    const std::size_t found = text.find(line, at);
    EXPECT_NE(found, std::string::npos) << line << "in\n" << text;
    if (found != std::string::npos) at = found + line.size();
  }

  // The window's confirmed uninstall with its default choice: the resources go too. The program
  // that ran it removes its own file afterwards.
  test::make_dirs(client_ + L"/client_resources");
  test::write_text(client_ + L"/client_resources/pack.bin", "resources");
  const std::wstring copy = root_ / L"tmp-copy/Corvane-Uninstall-1.exe";
  test::make_dirs(parent_dir(copy));
  test::write_text(copy, "the uninstaller's copy");
  EXPECT_EQ(run({L"/uninstall", client_, L"/S", L"/LOG=" + log_}, copy), kSilentDone) << log();
  EXPECT_FALSE(path_exists(client_));
  EXPECT_FALSE(path_exists(desktop_link()) || path_exists(programs_link()));
  EXPECT_EQ(entry(L"InstallLocation"), L"");
  EXPECT_TRUE(logged("[*] Udalenie klienta iz papki " + os::to_utf8(client_) + ".\n[*] Udalenie zaversheno.\n"));
  if (!os::kIsWindows) {
    EXPECT_FALSE(path_exists(copy));  // Windows deletes it a moment after the exit
  }
}

TEST_F(SilentSetup, WithoutFoldersTheFormsProposalsServeAndRefusedShortcutsAreNotMade) {
  // The form proposes the registered client's folder and the game folder saved in its
  // launcher.json.
  {
    os::RegistryKey key;
    ASSERT_TRUE(key.create(os::RegistryRoot::CurrentUser, kProgramsKey));
    ASSERT_TRUE(key.set_string(L"InstallLocation", client_ + L"/"));
  }
  test::make_dirs(client_);
  ASSERT_TRUE(store_game_path(client_, game_));
  ASSERT_EQ(run({L"/S", L"/NODESKTOP", L"/NOSTARTMENU", L"/LOG=" + log_}), kSilentDone) << log();
  EXPECT_TRUE(logged("[*] Ustanovka v papku " + os::to_utf8(client_) + ", papka GTA V: " + os::to_utf8(game_) + ".\n"))
      << log();
  EXPECT_EQ(test::read_text(client_ + L"/Corvane.exe"), corvane_exe_);
  EXPECT_FALSE(path_exists(desktop_link()));
  EXPECT_FALSE(path_exists(programs_link()));
  EXPECT_EQ(entry(L"DisplayName"), L"Corvane");
  EXPECT_EQ(entry(L"InstallLocation"), client_);
  EXPECT_EQ(saved_game_dir(client_), game_);
}

TEST_F(SilentSetup, EachRefusalHasItsExitCodeAndLogLine) {
  struct Case {
    const char* what;
    std::vector<std::wstring> args;
    int code;
    std::string line;
  };
  const std::wstring no_game = root_ / L"Games/empty";
  test::make_dirs(no_game);
  const std::vector<Case> cases = {
      {"unknown switch", {L"/S", L"/D=" + client_, L"/GTA=" + game_, L"/QUIET"}, kSilentBadCommandLine,
       "[!] Komandnaya stroka: neizvestnyy parametr \"/QUIET\".\n"},
      {"not a game folder", {L"/S", L"/D=" + client_, L"/GTA=" + no_game}, kSilentNoGameFolder,
       "[!] V papke " + os::to_utf8(no_game) + " net GTA V (GTA5.exe); ukazhite papku igry v /GTA=.\n"},
      {"no game folder found", {L"/S", L"/D=" + client_}, kSilentNoGameFolder,
       "[!] Papka GTA V ne naydena; ukazhite ee v /GTA=.\n"},
      {"a folder the page would refuse", {L"/S", L"/D=" + root_ / L"a|b", L"/GTA=" + game_},
       kSilentFolderNotWritable, "[!] Ustanovka prervana: Путь к папке содержит недопустимый символ «|»."},
      {"no client to remove", {L"/uninstall", client_, L"/S"}, kSilentNoClient,
       "[!] Klient ne nayden v papke " + os::to_utf8(client_) + ".\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::remove_all(log_);
    std::vector<std::wstring> args = c.args;
    args.push_back(L"/LOG=" + log_);
    EXPECT_EQ(run(args), c.code);
    EXPECT_TRUE(logged(c.line)) << log();
    EXPECT_TRUE(logged("[*] Kod zaversheniya: " + std::to_string(c.code) + ".\n")) << log();
    EXPECT_FALSE(path_exists(client_));
    EXPECT_EQ(server_.totals().requests, 0u);
  }
  // A log that cannot be written is a bad command line too.
  EXPECT_EQ(run({L"/S", L"/D=" + client_, L"/GTA=" + game_, L"/LOG=" + root_ / L"no/such/folder/s.log"}),
            kSilentBadCommandLine);
  EXPECT_FALSE(path_exists(client_));
}

TEST_F(SilentSetup, AFolderThatCannotBeWrittenAConfigurationNotSavedAndACdnThatIsDownFailTheInstall) {
  {
    const test::ScopedFsFault read_only([](os::FsOp op, std::wstring_view path, std::wstring_view) {
      return op == os::FsOp::OpenForWrite && path.find(L".crvn_write_test") != std::wstring_view::npos
                 ? os::kErrorAccessDenied
                 : os::kErrorSuccess;
    });
    EXPECT_EQ(run({L"/S", L"/D=" + client_, L"/GTA=" + game_, L"/LOG=" + log_}), kSilentFolderNotWritable);
  }
  EXPECT_TRUE(logged("[!] Ustanovka prervana: Нет доступа к папке " + os::to_utf8(client_))) << log();
  EXPECT_EQ(server_.totals().requests, 0u);

  {
    const test::ScopedFsFault disk_full([](os::FsOp op, std::wstring_view path, std::wstring_view) {
      return op == os::FsOp::Write && path.find(L"launcher.json") != std::wstring_view::npos ? os::kErrorDiskFull
                                                                                              : os::kErrorSuccess;
    });
    EXPECT_EQ(run({L"/S", L"/D=" + client_, L"/GTA=" + game_, L"/LOG=" + log_}), kSilentConfigureFailed);
  }
  EXPECT_TRUE(logged("[!] Ustanovka prervana: Не удалось сохранить путь к GTA V в папке клиента.\n")) << log();
  EXPECT_EQ(test::read_text(client_ + L"/Corvane.exe"), corvane_exe_) << "the files are in place";
  test::remove_all(client_);

  server_.stop();
  EXPECT_EQ(run({L"/S", L"/D=" + client_, L"/GTA=" + game_, L"/LOG=" + log_}), kSilentUpdateFailed);
  // The engine's own line, the page's text and the engine's status.
  EXPECT_TRUE(logged("[!] Obnovlenie: CDN nedostupen, zapuskaem tekushchuyu versiyu.\n")) << log();
  EXPECT_TRUE(logged("[!] Ustanovka prervana: Не удалось связаться с сервером обновлений.")) << log();
  EXPECT_TRUE(logged("[!] Ustanovka: obnovlenie zavershilos so statusom 1 (kod ")) << log();
  EXPECT_TRUE(logged("[*] Kod zaversheniya: 5.\n")) << log();
  EXPECT_FALSE(path_exists(client_ + L"/Corvane.exe"));
  EXPECT_EQ(entry(L"InstallLocation"), L"");
}

TEST_F(SilentSetup, AnotherSetupOrUpdateRunningIsNotWaitedFor) {
  // The locks are held by another thread: on Windows a mutex lets its own thread in again.
  for (const std::wstring_view name : {std::wstring_view(L"Local\\CRVN_setup"), os::kUpdateLockName}) {
    SCOPED_TRACE(os::to_utf8(name));
    std::promise<void> held;
    std::promise<void> release;
    std::thread holder([&] {
      const os::UpdateLock lock{std::wstring(name)};
      held.set_value();
      release.get_future().wait();
    });
    held.get_future().wait();
    test::remove_all(log_);
    EXPECT_EQ(run({L"/S", L"/D=" + client_, L"/GTA=" + game_, L"/LOG=" + log_}), kSilentBusy);
    EXPECT_EQ(run({L"/uninstall", root_ / L"Games", L"/S"}), kSilentNoClient) << "the folder is looked at first";
    release.set_value();
    holder.join();
    EXPECT_TRUE(logged("[!] Uzhe idet drugaya ustanovka, udalenie ili obnovlenie klienta")) << log();
    EXPECT_FALSE(path_exists(client_));
  }
  EXPECT_EQ(run({L"/S", L"/D=" + client_, L"/GTA=" + game_}), kSilentDone);
}

TEST_F(SilentSetup, AnUninstallThatLeavesFilesBehindSaysSoAndKeepsItsProgram) {
  ASSERT_EQ(run({L"/S", L"/D=" + client_, L"/GTA=" + game_}), kSilentDone);
  const std::wstring copy = root_ / L"Downloads/Corvane-Uninstall-2.exe";
  test::write_text(copy, "the uninstaller's copy");
  {
    const test::ScopedFsFault busy([](os::FsOp op, std::wstring_view path, std::wstring_view) {
      return op == os::FsOp::Delete && path.ends_with(L"core.dll") ? os::kErrorSharingViolation : os::kErrorSuccess;
    });
    EXPECT_EQ(run({L"/uninstall", client_, L"/S", L"/LOG=" + log_}, copy), kSilentUninstallFailed);
  }
  EXPECT_TRUE(logged("[!] Udalenie ne zaversheno: Не удалось удалить часть файлов.")) << log();
  EXPECT_TRUE(path_exists(client_ + L"/bin/core.dll"));
  EXPECT_EQ(entry(L"InstallLocation"), client_);
  EXPECT_TRUE(path_exists(copy));
}

// Every file below `folder` with its content, and every folder (as "name/").
std::map<std::wstring, std::string> tree_of(const std::wstring& folder) {
  std::map<std::wstring, std::string> tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::wstring name = entry.path().lexically_relative(folder).generic_wstring();
    tree[entry.is_directory() ? name + L"/" : name] = entry.is_directory() ? "" : test::read_text(entry.path().wstring());
  }
  return tree;
}

TEST_F(SilentSetup, TheGameFolderAndFoldersOfOtherFilesAreNeitherInstalledIntoNorEmptied) {
  struct Case {
    const char* what;
    std::wstring dir;
    std::vector<std::pair<std::wstring, std::string>> files;  // what the folder held before
    std::wstring refusal;
  };
  const std::wstring mine = root_ / L"My files";
  const std::wstring other = root_ / L"Other Game";
  const std::vector<Case> cases = {
      // What an earlier install into the game folder left there does not make it a client's.
      {"the game folder", game_,
       {{L"update/update.rpf", "rpf"}, {L"update/x64/dlc.rpf", "dlc"}, {L"data/x.dat", "x"},
        {L"uninstall.exe", "the setup program"}, {L"Corvane.exe", "client"}},
       game_folder_refusal_text(game_)},
      {"a new folder inside the game folder", game_ + L"/Corvane", {}, game_folder_refusal_text(game_ + L"/Corvane")},
      {"a folder of the user's own files", mine,
       {{L"bin/backup.sh", "#!/bin/sh"}, {L"data/thesis.odt", "thesis"}, {L"logs/today.log", "log"},
        {L"config.json", "{}"}},
       foreign_folder_refusal_text(mine)},
      {"another program's folder with its uninstaller", other,
       {{L"uninstall.exe", "another uninstaller"}, {L"data/save.bin", "save"}, {L"launcher.json", "{\"x\":1}"}},
       foreign_folder_refusal_text(other)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& [name, bytes] : c.files) {
      test::make_dirs(parent_dir(c.dir + L"/" + name));
      test::write_text(c.dir + L"/" + name, bytes);
    }
    // The game's folder and the folder asked for (when it was there) as they were before.
    const auto games = tree_of(root_ / L"Games");
    const auto before = c.files.empty() ? decltype(games)() : tree_of(c.dir);
    test::remove_all(log_);
    EXPECT_EQ(run({L"/S", L"/D=" + c.dir, L"/GTA=" + game_, L"/LOG=" + log_}), kSilentFolderNotWritable);
    EXPECT_TRUE(logged("[!] Ustanovka prervana: " + os::to_utf8(c.refusal) + "\n")) << log();
    EXPECT_EQ(server_.totals().requests, 0u);
    EXPECT_NE(run({L"/uninstall", c.dir, L"/S", L"/LOG=" + log_}), kSilentDone) << log();
    EXPECT_EQ(tree_of(root_ / L"Games"), games);
    if (!c.files.empty()) EXPECT_EQ(tree_of(c.dir), before);
    EXPECT_FALSE(path_exists(game_ + L"/Corvane"));
  }
  // The uninstall names what it leaves: a client folder holding something of the user's.
  ASSERT_EQ(run({L"/S", L"/D=" + client_, L"/GTA=" + game_}), kSilentDone);
  test::write_text(client_ + L"/notes.txt", "mine");
  const std::wstring copy = root_ / L"Downloads/Corvane-Uninstall-3.exe";
  test::write_text(copy, "the uninstaller's copy");
  EXPECT_EQ(run({L"/uninstall", client_, L"/S", L"/LOG=" + log_}, copy), kSilentDone);
  EXPECT_EQ(test::read_text(client_ + L"/notes.txt"), "mine");
  EXPECT_TRUE(logged("ne prinadlezhashchee klientu: notes.txt.\n")) << log();
}

}  // namespace
}  // namespace corvane
