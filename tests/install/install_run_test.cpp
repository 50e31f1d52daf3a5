#include "install/install_run.h"

#include <gtest/gtest.h>

#include "base/paths.h"
#include "game/game_locator.h"
#include "install/programs_entry.h"
#include "install_env.h"
#include "os/registry.h"
#include "os/text.h"

namespace corvane {
namespace {

std::wstring stage(const wchar_t* name) { return L"{\"type\":\"stage\",\"stage\":\"" + std::wstring(name) + L"\"}"; }
std::wstring error(const std::wstring& text) {
  return L"{\"type\":\"error\",\"message\":\"" + test::json_escaped(text) + L"\"}";
}

// Fails every call of `op` on a path that contains `part_of_path`.
test::ScopedFsFault fail(os::FsOp op, std::wstring part_of_path) {
  return test::ScopedFsFault([op, part_of_path](os::FsOp o, std::wstring_view path, std::wstring_view) {
    return o == op && path.find(part_of_path) != std::wstring_view::npos ? os::kErrorDiskFull : os::kErrorSuccess;
  });
}

// An install run with a local update step in place of the CDN: it puts the client's program in
// place, reports progress twice and answers with the code and result the test chose.
class InstallRun : public test::InstallEnv {
 protected:
  InstallRun() {
    test::make_dirs(root_ / L"setup");
    test::write_text(request_.module_path = root_ / L"setup/Corvane-Setup.exe", "the setup program");
    test::make_dirs(game_);
    test::write_text(game_ + L"/GTA5.exe", "");
  }

  std::vector<std::wstring> run() {
    run_install(request_, [this](const std::wstring& dir, UpdateResult& result, ProgressCallback progress) {
      ++updates_;
      test::write_text(join_path(dir, L"Corvane.exe"), "client");
      progress.fn(progress.context, 1, 6ull << 30, 0, 3);
      result = result_;
      return code_;
    }, page_report());
    return take_page_messages();
  }
  std::wstring entry(const wchar_t* name) const {
    return os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, name);
  }

  std::wstring game_ = root_ / L"GTA V";
  InstallRequest request_{root_ / L"deep/er/Games/Corvane", game_, true, true};
  UpdateResult result_{kStatusNone, "2.0.1", "2024-06-01", "", 0};
  std::uint32_t code_ = kUpdated;
  int updates_ = 0;
};

TEST_F(InstallRun, AFreshInstallConfiguresTheClientAndReportsEachStage) {
  EXPECT_EQ(run(), (std::vector<std::wstring>{
                       stage(L"manifest"), stage(L"download"),
                       L"{\"type\":\"progress\",\"done\":1,\"total\":6442450944,\"files\":0,\"filesTotal\":3}",
                       stage(L"configure"), L"{\"type\":\"installed\",\"version\":\"2.0.1\",\"date\":\"2024-06-01\"}"}));
  const std::wstring& dir = request_.install_dir;  // created whole, several levels deep
  EXPECT_EQ(test::read_text(dir + L"/uninstall.exe"), "the setup program");
  EXPECT_FALSE(path_exists(dir + L"/.crvn_write_test"));
  EXPECT_EQ(saved_game_dir(dir), game_);
  EXPECT_TRUE(path_exists(desktop_link()) && path_exists(programs_link()));
  EXPECT_EQ(entry(L"DisplayVersion"), L"2.0.1");
  EXPECT_EQ(entry(L"InstallLocation"), dir);
}

TEST_F(InstallRun, AFolderOrUninstallerThatCannotBeWrittenEndsTheRunBeforeTheDownload) {
  {
    const auto read_only = fail(os::FsOp::OpenForWrite, L".crvn_write_test");
    EXPECT_EQ(run(), (std::vector<std::wstring>{stage(L"manifest"),
                                                error(L"Нет доступа к папке " + request_.install_dir +
                                                      L". Выберите другую папку, например в своём профиле.")}));
  }
  {
    const auto full = fail(os::FsOp::Copy, L"");
    EXPECT_EQ(run(), (std::vector<std::wstring>{stage(L"manifest"),
                                                error(L"Не удалось записать программу удаления в папку клиента.")}));
  }
  EXPECT_EQ(updates_, 0);
  // Running as that very uninstaller (in any letter case), nothing is copied and the run goes on.
  test::write_text(request_.install_dir + L"/uninstall.exe", "already there");
  request_.module_path = join_path(request_.install_dir, L"UNINSTALL.exe");
  const auto no_copy = fail(os::FsOp::Copy, L"");
  EXPECT_EQ(run().back(), L"{\"type\":\"installed\",\"version\":\"2.0.1\",\"date\":\"2024-06-01\"}");
}

TEST_F(InstallRun, LinksAtTheMarkerOrUninstallerNamesAreReplacedNeverWrittenThrough) {
  const std::wstring& dir = request_.install_dir;
  test::make_dirs(dir);
  test::write_text(dir + L"/Corvane.exe", "client");  // a repeated install: the folder is the client's
  const std::wstring outside = root_ / L"outside";
  test::make_dirs(outside);
  for (const wchar_t* name : {L".crvn_write_test", L"uninstall.exe", L"uninstall.exe.tmp"}) {
    test::write_text(outside + L"/" + name, "precious");
    if (!test::make_link(join_path(dir, name), join_path(outside, name), /*directory=*/false)) {
      GTEST_SKIP() << "this system makes no symbolic link to a file";
    }
  }
  EXPECT_EQ(run().back(), L"{\"type\":\"installed\",\"version\":\"2.0.1\",\"date\":\"2024-06-01\"}");
  for (const wchar_t* name : {L".crvn_write_test", L"uninstall.exe", L"uninstall.exe.tmp"}) {
    EXPECT_EQ(test::read_text(outside + L"/" + name), "precious") << os::to_utf8(name);
  }
  const auto uninstaller = os::file_info(dir + L"/uninstall.exe");
  ASSERT_TRUE(uninstaller);
  EXPECT_FALSE(uninstaller->is_link);
  EXPECT_EQ(test::read_text(dir + L"/uninstall.exe"), "the setup program");
  EXPECT_FALSE(os::file_info(dir + L"/.crvn_write_test"));
  EXPECT_FALSE(os::file_info(dir + L"/uninstall.exe.tmp"));
}

TEST_F(InstallRun, AFailedUpdateShowsItsTextAndConfiguresNothing) {
  code_ = kFailed;
  result_ = {kStatusWriteFailed, "2.0.1", "", "bin/client.dll", 112};
  const auto messages = run();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[3], error(L"Не удалось записать файл bin/client.dll (код 112). Проверьте место на диске."));
  EXPECT_FALSE(path_exists(request_.install_dir + L"/launcher.json"));
  EXPECT_FALSE(path_exists(desktop_link()));
  EXPECT_EQ(entry(L"DisplayName"), L"");
}

TEST_F(InstallRun, ARepeatedInstallOverAnUpToDateClientKeepsItsSettings) {
  (void)run();
  code_ = kUpToDate;
  request_ = {request_.install_dir, L"", false, false, request_.module_path};  // no game folder, no shortcuts
  test::remove_all(desktop_link());
  test::remove_all(programs_link());
  result_.date = "2024-06-\"02\"";
  int launcher_writes = 0;
  {
    test::ScopedFsFault watch([&launcher_writes](os::FsOp op, std::wstring_view path, std::wstring_view) {
      if (op == os::FsOp::Write && path.find(L"launcher.json") != std::wstring_view::npos) ++launcher_writes;
      return os::kErrorSuccess;
    });
    EXPECT_EQ(run(), (std::vector<std::wstring>{
                         stage(L"manifest"), stage(L"download"),
                         L"{\"type\":\"progress\",\"done\":1,\"total\":6442450944,\"files\":0,\"filesTotal\":3}",
                         stage(L"configure"),
                         L"{\"type\":\"installed\",\"version\":\"2.0.1\",\"date\":\"2024-06-\\\"02\\\"\"}"}));
  }
  EXPECT_EQ(launcher_writes, 0);  // the version is recorded already and no game folder came
  EXPECT_EQ(saved_game_dir(request_.install_dir), game_);
  EXPECT_FALSE(path_exists(desktop_link()) || path_exists(programs_link()));
  EXPECT_EQ(entry(L"InstallLocation"), request_.install_dir);
}

TEST_F(InstallRun, AGamePathThatCannotBeSavedHasItsText) {
  {
    const auto full = fail(os::FsOp::Write, L"launcher.json");
    EXPECT_EQ(run().back(), error(L"Не удалось сохранить путь к GTA V в папке клиента."));
  }
  EXPECT_FALSE(path_exists(desktop_link()));  // stopped before the shortcuts
  EXPECT_EQ(entry(L"DisplayName"), L"");
}

}  // namespace
}  // namespace corvane
