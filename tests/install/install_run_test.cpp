#include "install/install_run.h"

#include <gtest/gtest.h>

#include "app/paths.h"
#include "config/launcher_config.h"
#include "game/game_locator.h"
#include "install/programs_entry.h"
#include "install_env.h"
#include "os/registry.h"
#include "os/text.h"
#include "ui/json_decode.h"

namespace corvane {
namespace {

std::wstring stage(const wchar_t* name) { return L"{\"type\":\"stage\",\"stage\":\"" + std::wstring(name) + L"\"}"; }
std::wstring error(const std::wstring& text) { return L"{\"type\":\"error\",\"message\":\"" + text + L"\"}"; }

// An install run with a local update step in place of the CDN: it puts the client's program in
// place, reports progress twice and answers with the code and result the test chose.
class InstallRun : public test::InstallEnv {
 protected:
  InstallRun() {
    test::make_dirs(root_ / L"setup");
    test::write_text(setup_, "the setup program");
    app_state().module_path = setup_;
    request_.install_dir = root_ / L"deep/er/Games/Corvane";
    test::make_dirs(game_);
    test::write_text(game_ + L"/GTA5.exe", "");
    request_.game_dir = game_;
  }

  void run() {
    run_install(request_, [this](const std::wstring& dir, UpdateResult& result, ProgressCallback progress) {
      ++updates_;
      if (code_ != kFailed) test::write_text(join_path(dir, L"Corvane.exe"), "client");
      progress.fn(progress.context, 1, 6ull << 30, 0, 3);
      progress.fn(progress.context, 6ull << 30, 6ull << 30, 3, 3);
      result = result_;
      return code_;
    });
  }

  std::wstring entry(const wchar_t* name) const {
    return os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, name);
  }

  std::wstring setup_ = root_ / L"setup/Corvane-Setup.exe";
  std::wstring game_ = root_ / L"GTA V";
  InstallRequest request_;
  UpdateResult result_{kStatusNone, "2.0.1", "2024-06-01", "", 0};
  std::uint32_t code_ = kUpdated;
  int updates_ = 0;
};

TEST_F(InstallRun, AFreshInstallConfiguresTheClientAndReportsEachStage) {
  run();
  const std::wstring& dir = request_.install_dir;
  EXPECT_EQ(take_page_messages(),
            (std::vector<std::wstring>{
                stage(L"manifest"), stage(L"download"),
                L"{\"type\":\"progress\",\"done\":1,\"total\":6442450944,\"files\":0,\"filesTotal\":3}",
                L"{\"type\":\"progress\",\"done\":6442450944,\"total\":6442450944,\"files\":3,\"filesTotal\":3}",
                stage(L"configure"), L"{\"type\":\"installed\",\"version\":\"2.0.1\",\"date\":\"2024-06-01\"}"}));
  EXPECT_EQ(test::read_text(dir + L"/uninstall.exe"), "the setup program");
  EXPECT_FALSE(path_exists(dir + L"/.crvn_write_test"));
  EXPECT_EQ(saved_game_dir(dir), game_);
  EXPECT_TRUE(path_exists(desktop_link()));
  EXPECT_TRUE(path_exists(programs_link()));
  EXPECT_EQ(entry(L"DisplayVersion"), L"2.0.1");
  EXPECT_EQ(entry(L"InstallLocation"), dir);
}

TEST_F(InstallRun, AFolderThatCannotBeWrittenEndsTheRunAtOnce) {
  test::ScopedFsFault read_only([](os::FsOp op, std::wstring_view path, std::wstring_view) {
    return op == os::FsOp::OpenForWrite && path.ends_with(L".crvn_write_test") ? os::kErrorWriteProtect
                                                                                : os::kErrorSuccess;
  });
  run();
  EXPECT_EQ(take_page_messages(),
            (std::vector<std::wstring>{stage(L"manifest"),
                                       error(L"Нет доступа к папке " + request_.install_dir +
                                             L". Выберите другую папку, например в своём профиле.")}));
  EXPECT_EQ(updates_, 0);
  EXPECT_TRUE(dir_exists(request_.install_dir));  // created whole, several levels deep
  EXPECT_FALSE(path_exists(request_.install_dir + L"/uninstall.exe"));
}

TEST_F(InstallRun, TheUninstallerIsNotCopiedOntoItself) {
  test::make_dirs(request_.install_dir);
  test::write_text(request_.install_dir + L"/uninstall.exe", "already there");
  int copies = 0;
  test::ScopedFsFault watch([&copies](os::FsOp op, std::wstring_view, std::wstring_view) {
    if (op == os::FsOp::Copy) ++copies;
    return os::kErrorSuccess;
  });
  app_state().module_path = request_.install_dir + L"/UNINSTALL.exe";
  run();
  EXPECT_EQ(copies, 0);
  EXPECT_EQ(test::read_text(request_.install_dir + L"/uninstall.exe"), "already there");
  EXPECT_EQ(take_page_messages().back(), L"{\"type\":\"installed\",\"version\":\"2.0.1\",\"date\":\"2024-06-01\"}");
}

TEST_F(InstallRun, AnUninstallerThatCannotBeWrittenStopsBeforeTheDownload) {
  test::ScopedFsFault full([](os::FsOp op, std::wstring_view, std::wstring_view) {
    return op == os::FsOp::Copy ? os::kErrorDiskFull : os::kErrorSuccess;
  });
  run();
  EXPECT_EQ(take_page_messages(), (std::vector<std::wstring>{
                                      stage(L"manifest"), error(L"Не удалось записать программу удаления в папку клиента.")}));
  EXPECT_EQ(updates_, 0);
}

TEST_F(InstallRun, AFailedUpdateShowsItsTextAndConfiguresNothing) {
  code_ = kFailed;
  result_ = {kStatusWriteFailed, "2.0.1", "", "bin/client.dll", 112};
  run();
  const auto messages = take_page_messages();
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_EQ(messages[4],
            error(L"Не удалось записать файл bin/client.dll (код 112). Проверьте место на диске."));
  EXPECT_FALSE(path_exists(request_.install_dir + L"/launcher.json"));
  EXPECT_FALSE(path_exists(desktop_link()));
  EXPECT_EQ(entry(L"DisplayName"), L"");
}

TEST_F(InstallRun, ARepeatedInstallOverAnUpToDateClientKeepsItsSettings) {
  run();
  (void)take_page_messages();
  // Second run: up to date, no game folder from the page, no shortcuts wanted.
  code_ = kUpToDate;
  request_.game_dir.clear();
  request_.desktop_shortcut = false;
  request_.start_menu_shortcut = false;
  test::remove_all(desktop_link());
  test::remove_all(programs_link());
  int launcher_writes = 0;
  {
    test::ScopedFsFault watch([&launcher_writes](os::FsOp op, std::wstring_view path, std::wstring_view) {
      if ((op == os::FsOp::Write || op == os::FsOp::Move) && path.find(L"launcher.json") != std::wstring_view::npos) {
        ++launcher_writes;
      }
      return os::kErrorSuccess;
    });
    result_.date = "2024-06-\"02\"";
    run();
  }
  const auto messages = take_page_messages();
  ASSERT_EQ(messages.size(), 6u);
  EXPECT_EQ(messages[0], stage(L"manifest"));
  EXPECT_EQ(messages[1], stage(L"download"));
  EXPECT_EQ(messages[4], stage(L"configure"));
  EXPECT_EQ(test::json_string_member(messages[5], L"date"), L"2024-06-\"02\"");
  EXPECT_EQ(launcher_writes, 0);  // the version is already recorded; no game folder to store
  EXPECT_EQ(saved_game_dir(request_.install_dir), game_);
  EXPECT_FALSE(path_exists(desktop_link()));
  EXPECT_FALSE(path_exists(programs_link()));
  EXPECT_EQ(entry(L"InstallLocation"), request_.install_dir);
}

TEST_F(InstallRun, AGameFolderThatCannotBeSavedStopsBeforeTheShortcuts) {
  test::ScopedFsFault fail([](os::FsOp op, std::wstring_view path, std::wstring_view) {
    return op == os::FsOp::Write && path.find(L"launcher.json") != std::wstring_view::npos ? os::kErrorDiskFull
                                                                                          : os::kErrorSuccess;
  });
  run();
  const auto messages = take_page_messages();
  EXPECT_EQ(messages.back(), error(L"Не удалось сохранить путь к GTA V в папке клиента."));
  EXPECT_EQ(messages[messages.size() - 2], stage(L"configure"));
  EXPECT_FALSE(path_exists(desktop_link()));
  EXPECT_EQ(entry(L"DisplayName"), L"");
}

TEST_F(InstallRun, AnEntryThatCannotBeWrittenIsReportedAfterTheShortcuts) {
  test::ScopedFsFault fail([](os::FsOp op, std::wstring_view path, std::wstring_view) {
    return op == os::FsOp::Write && path.find(L"registry") != std::wstring_view::npos ? os::kErrorDiskFull
                                                                                     : os::kErrorSuccess;
  });
  run();
  EXPECT_EQ(take_page_messages().back(),
            error(L"Клиент установлен, но не удалось добавить его в список программ Windows."));
  EXPECT_TRUE(path_exists(desktop_link()));
  EXPECT_EQ(saved_game_dir(request_.install_dir), game_);
}

}  // namespace
}  // namespace corvane
