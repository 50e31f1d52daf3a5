#include "ui/dispatcher.h"

#include <gtest/gtest.h>

#include <future>
#include <optional>

#include "app/record_launch.h"
#include "app/window_proc.h"
#include "base/paths.h"
#include "support/temp_dir.h"
#include "ui/host_fixture.h"
#include "ui/ui_messages.h"

namespace corvane {
namespace {

// Jobs that record what the dispatcher hands them; the install job can be held until released.
class Dispatcher : public test::HostFixture {
 protected:
  Dispatcher() {
    host.window_proc = window_proc;
    jobs_.install = [this](const InstallRequest& r) {
      ++installs_;
      install_ = r;
      if (hold_) release_.get_future().wait();
    };
    jobs_.uninstall = [this](const UninstallRequest& r) { uninstall_ = r; };
  }

  void dispatch(std::wstring_view text) { dispatch_command(text, jobs_); }
  void finish_worker() { ASSERT_TRUE(host.pump_until([] { return !app_state().busy.load(); })); }
  std::vector<WindowMessage> posted() {
    std::vector<WindowMessage> out;
    for (const test::PostedMessage& m : host.take_posted()) out.push_back(m.message);
    return out;
  }

  CommandJobs jobs_;
  int installs_ = 0;  // written by the worker, read after it has been joined
  std::optional<InstallRequest> install_;
  std::optional<UninstallRequest> uninstall_;
  bool hold_ = false;
  std::promise<void> release_;
  test::TempDir dir_;
};

TEST(SplitCommand, CutsAtEveryBarAndKeepsEmptyFields) {
  EXPECT_EQ(split_command(L""), (UiCommand{L""}));
  EXPECT_EQ(split_command(L"install||||"), (UiCommand{L"install", L"", L"", L"", L""}));
  EXPECT_EQ(split_command(L"a| b |"), (UiCommand{L"a", L" b ", L""}));
}

TEST_F(Dispatcher, InstallTrimsTheFoldersAndKeepsOnlyARealGameFolder) {
  dispatch(L"install||||");
  EXPECT_EQ(take_page_messages(),
            std::vector<std::wstring>{L"{\"type\":\"error\",\"message\":\"Не выбрана папка установки.\"}"});
  EXPECT_FALSE(app_state().busy.load());

  const std::wstring game = dir_ / L"GTA V";
  test::make_dirs(game);
  test::write_text(game + L"/GTA5.exe", "");
  const std::wstring client = dir_ / L"Games/Corvane";
  app_state().install_dir = client;
  app_state().game_dir = game;
  dispatch(L"install|" + client + L"/|" + game + L"//|1|0");
  finish_worker();
  EXPECT_EQ(install_->install_dir, client);
  EXPECT_EQ(app_state().install_dir, client);
  EXPECT_EQ(install_->game_dir, game);
  EXPECT_TRUE(install_->desktop_shortcut);
  EXPECT_FALSE(install_->start_menu_shortcut);
  EXPECT_EQ(app_state().game_dir, game);  // the command leaves the state's folders as they were

  app_state().game_dir = dir_.path();  // picked, but no GTA5.exe there
  dispatch(L"install|" + client + L"||yes|1");
  finish_worker();
  EXPECT_EQ(install_->game_dir, L"");
  EXPECT_FALSE(install_->desktop_shortcut);
  EXPECT_TRUE(install_->start_menu_shortcut);
  EXPECT_EQ(installs_, 2);
}

TEST_F(Dispatcher, InstallGoesOnlyToTheFoldersThisSideProposedOrPicked) {
  const std::wstring game = dir_ / L"GTA V";
  const std::wstring other_game = dir_ / L"Other GTA";
  for (const std::wstring& g : {game, other_game}) {
    test::make_dirs(g);
    test::write_text(g + L"/GTA5.exe", "");
  }
  app_state().install_dir = dir_ / L"Corvane";
  app_state().game_dir = game;
  // Folders that the page holds and this side never offered are not followed.
  dispatch(L"install|" + dir_ / L"Elsewhere|" + game + L"|1|1");
  dispatch(L"install|" + dir_ / L"Corvane|" + other_game + L"|1|1");
  const std::wstring stale = L"{\"type\":\"error\",\"message\":\"Папки на странице не совпадают с выбранными. "
                             L"Выберите папки ещё раз.\"}";
  EXPECT_EQ(take_page_messages(), (std::vector<std::wstring>{stale, stale}));
  EXPECT_EQ(installs_, 0);
  EXPECT_FALSE(path_exists(dir_ / L"Elsewhere"));
}

TEST_F(Dispatcher, AFolderThatCannotTravelThroughThePageIsRefusedAndNeverSplit) {
  const std::wstring game = dir_ / L"GTA V";
  test::make_dirs(game);
  test::write_text(game + L"/GTA5.exe", "");
  app_state().install_dir = dir_ / L"Corvane";
  const std::wstring bar = L"{\"type\":\"error\",\"message\":\"Путь к папке содержит недопустимый символ «|». "
                           L"Выберите другую папку.\"}";
  const std::wstring unreadable = L"{\"type\":\"error\",\"message\":\"Путь к папке содержит недопустимые "
                                  L"символы. Выберите другую папку.\"}";
  // "a|b" would otherwise install into "a", with the shortcut flags taken from the wrong fields.
  dispatch(L"install|" + dir_ / L"a|b/Corvane|" + game + L"|1|1");
  dispatch(L"install|" + dir_ / L"Corvane|" + dir_ / L"GTA|V|1|1");
  dispatch(L"install|" + dir_ / L"x|1|1|" + game + L"|1|1");
  // A name byte that is not UTF-8 comes back from the page as U+FFFD (or, kept, as a lone surrogate).
  dispatch(L"install|" + dir_ / L"caf\uFFFD/Corvane|" + game + L"|1|1");
  dispatch(L"install|" + dir_ / L"caf" + std::wstring(1, wchar_t(0xDCE9)) + L"/Corvane|" + game + L"|1|1");
  EXPECT_EQ(take_page_messages(), (std::vector<std::wstring>{bar, bar, bar, unreadable, unreadable}));
  EXPECT_EQ(installs_, 0);
  EXPECT_FALSE(app_state().busy.load());
  EXPECT_EQ(app_state().install_dir, dir_ / L"Corvane");
  EXPECT_FALSE(path_exists(dir_ / L"a"));
}

TEST_F(Dispatcher, WrongNamesModesAndFieldCountsAreIgnored) {
  app_state().webview = true;
  for (const wchar_t* text : {L"Ready", L"ready ", L"|ready", L"", L"install|/a|/b|1", L"uninstall|1"}) dispatch(text);
  app_state().mode = RunMode::Uninstall;
  dispatch(L"install|/a|/b|1|1");
  EXPECT_TRUE(host.page.empty());
  EXPECT_TRUE(host.calls.empty());
  EXPECT_TRUE(host.take_posted().empty());
  EXPECT_FALSE(install_ || uninstall_);
}

TEST_F(Dispatcher, ReadyAnswersWithInitForTheMode) {
  const std::wstring client = dir_ / L"Corvane";
  test::make_dirs(client);
  test::write_text(client + L"/uninstall.exe", "");
  app_state().install_dir = client;
  app_state().game_dir = dir_ / L"no game";
  dispatch(L"ready");  // no view yet: nothing to give it to
  app_state().webview = true;
  dispatch(L"ready|ignored");
  app_state().mode = RunMode::Uninstall;
  dispatch(L"ready");
  // Windows paths reach the page with their backslashes escaped.
  const auto in_json = [](std::wstring path) {
    for (std::size_t at = path.find(L'\\'); at != std::wstring::npos; at = path.find(L'\\', at + 2)) path.insert(at, 1, L'\\');
    return path;
  };
  EXPECT_EQ(host.page,
            (std::vector<std::wstring>{L"{\"type\":\"init\",\"version\":\"1.0\",\"mode\":\"install\",\"dir\":\"" +
                                           in_json(client) + L"\",\"gta\":\"" + in_json(dir_ / L"no game") +
                                           L"\",\"gtaValid\":false,\"reinstall\":true}",
                                       L"{\"type\":\"init\",\"version\":\"1.0\",\"mode\":\"uninstall\",\"dir\":\"" +
                                           in_json(client) + L"\"}"}));
}

TEST_F(Dispatcher, WhileAWorkerRunsOnlyHarmlessCommandsAndTheCloseAreCarriedOut) {
  app_state().webview = true;
  app_state().cloaked = true;
  hold_ = true;
  app_state().install_dir = dir_ / L"A";
  dispatch(L"install|" + (dir_ / L"A") + L"|||");
  ASSERT_TRUE(app_state().busy.load());
  for (const wchar_t* text : {L"close", L"browseInstall|/x", L"browseGta|/y"}) dispatch(text);
  dispatch(L"install|" + (dir_ / L"B") + L"|||");
  EXPECT_EQ(app_state().install_dir, dir_ / L"A");  // the dropped command changed nothing
  for (const wchar_t* text : {L"ready", L"show", L"drag", L"minimize"}) dispatch(text);
  // A page that says "ready" during the run is put on its progress screen after "init".
  ASSERT_EQ(host.page.size(), 2u);
  EXPECT_EQ(host.page[1],
            L"{\"type\":\"resume\",\"running\":true,\"desktopShortcut\":false,\"startMenuShortcut\":false}");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"kill_timer 1", "set_cloaked 0", "bring_to_foreground", "focus_view",
                                                  "minimize_window"}));
  // "close" goes to the window, which stops the run first (window_proc).
  EXPECT_EQ(posted(), (std::vector<WindowMessage>{kWindowClose, WM_START_DRAG}));

  release_.set_value();
  finish_worker();
  EXPECT_EQ(installs_, 1);
  for (const wchar_t* text : {L"browseInstall|/x", L"browseGta|/y", L"close"}) dispatch(text);
  EXPECT_EQ(posted(), (std::vector<WindowMessage>{WM_BROWSE_INSTALL, WM_BROWSE_GAME, kWindowClose}));
}

TEST_F(Dispatcher, UninstallTakesTheResourcesFlagFromItsField) {
  app_state().mode = RunMode::Uninstall;
  app_state().install_dir = dir_ / L"Corvane";
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"uninstall", false}, {L"uninstall|1", true}, {L"uninstall|0", false}, {L"uninstall|yes", false}, {L"uninstall|1|0", true}};
  for (const auto& [text, remove] : cases) {
    uninstall_.reset();
    dispatch(text);
    finish_worker();
    ASSERT_TRUE(uninstall_.has_value());
    EXPECT_EQ(uninstall_->remove_resources, remove) << text;
    EXPECT_EQ(uninstall_->install_dir, dir_ / L"Corvane");
  }
}

TEST_F(Dispatcher, LaunchStartsTheClientOnlyAfterItWasInstalledAndThenCloses) {
  test::install_record_launch_program(dir_ / L"Corvane.exe");
  app_state().install_dir = dir_.path();
  // Before an install has ended with "installed" (none yet, one running, one that failed) a
  // "launch" is not carried out.
  const struct {
    bool started, running;
    std::wstring result;
  } before[] = {{false, false, L""}, {true, true, L""}, {true, false, error_message(L"x")}};
  for (const auto& run : before) {
    app_state().run.started = run.started;
    app_state().busy.store(run.running);
    app_state().run.result = run.result;
    dispatch(L"launch");
  }
  EXPECT_TRUE(posted().empty());
  app_state().busy.store(false);
  app_state().run.result = installed_message("1.0", "");
  dispatch(L"launch");
  EXPECT_EQ(test::wait_for_launch_record(dir_.path()), "");  // no arguments, in the client folder
  EXPECT_EQ(posted(), std::vector<WindowMessage>{kWindowClose});
  app_state().busy.store(false);
  app_state().install_dir = dir_ / L"nothing here";
  dispatch(L"launch");  // a client that cannot start still closes the window
  EXPECT_EQ(posted(), std::vector<WindowMessage>{kWindowClose});
}

}  // namespace
}  // namespace corvane
