#include "ui/dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>

#include "app/app_state.h"
#include "app/record_launch.h"
#include "app/window_proc.h"
#include "support/temp_dir.h"
#include "ui/host_fixture.h"
#include "ui/json_decode.h"

namespace corvane {
namespace {

// Jobs that record what the dispatcher handed them; the install job can be held until released.
class Dispatcher : public test::HostFixture {
 protected:
  Dispatcher() {
    host.window_proc = window_proc;
    jobs_.install = [this](const InstallRequest& r) {
      installs_.fetch_add(1);
      last_install_ = r;
      if (hold_) release_.get_future().wait();
    };
    jobs_.uninstall = [this](const UninstallRequest& r) {
      uninstalls_.fetch_add(1);
      last_uninstall_ = r;
    };
  }

  void dispatch(std::wstring_view text) { dispatch_command(text, jobs_); }
  // Delivers messages until the worker has ended and been joined.
  void finish_worker() { ASSERT_TRUE(host.pump_until([] { return !app_state().busy.load(); })); }
  std::vector<WindowMessage> posted_window_messages() {
    std::vector<WindowMessage> out;
    for (const test::PostedMessage& m : host.take_posted()) out.push_back(m.message);
    return out;
  }

  CommandJobs jobs_;
  std::atomic<int> installs_{0};
  std::atomic<int> uninstalls_{0};
  std::optional<InstallRequest> last_install_;
  std::optional<UninstallRequest> last_uninstall_;
  bool hold_ = false;
  std::promise<void> release_;
  test::TempDir dir_;
};

TEST(SplitCommand, CutsAtEveryBarAndKeepsEmptyFields) {
  EXPECT_EQ(split_command(L""), (UiCommand{L""}));
  EXPECT_EQ(split_command(L"ready"), (UiCommand{L"ready"}));
  EXPECT_EQ(split_command(L"install||||"), (UiCommand{L"install", L"", L"", L"", L""}));
  EXPECT_EQ(split_command(L"a| b |"), (UiCommand{L"a", L" b ", L""}));
}

TEST_F(Dispatcher, InstallWithoutAFolderReportsItAndStartsNothing) {
  dispatch(L"install||||");
  EXPECT_EQ(take_page_messages(),
            std::vector<std::wstring>{L"{\"type\":\"error\",\"message\":\"Не выбрана папка установки.\"}"});
  EXPECT_FALSE(app_state().busy.load());
  EXPECT_EQ(installs_.load(), 0);
}

TEST_F(Dispatcher, InstallTrimsTheFoldersAndKeepsOnlyARealGameFolder) {
  const std::wstring game = dir_ / L"GTA V";
  test::make_dirs(game);
  test::write_text(game + L"/GTA5.exe", "");
  const std::wstring client = dir_ / L"Games/Corvane";

  dispatch(L"install|" + client + L"/|" + game + L"//|1|0|surplus");
  finish_worker();
  ASSERT_TRUE(last_install_.has_value());
  EXPECT_EQ(last_install_->install_dir, client);
  EXPECT_EQ(app_state().install_dir, client);
  EXPECT_EQ(last_install_->game_dir, game);
  EXPECT_TRUE(last_install_->desktop_shortcut);
  EXPECT_FALSE(last_install_->start_menu_shortcut);
  EXPECT_TRUE(app_state().game_dir.empty());  // the command leaves the state's game folder alone

  dispatch(L"install|" + client + L"|" + dir_.path() + L"|yes|1");
  finish_worker();
  EXPECT_EQ(last_install_->game_dir, L"");  // no GTA5.exe there: the install goes on without it
  EXPECT_FALSE(last_install_->desktop_shortcut);
  EXPECT_TRUE(last_install_->start_menu_shortcut);
  EXPECT_EQ(installs_.load(), 2);
}

TEST_F(Dispatcher, CommandsOutsideTheirModeOrWithTooFewFieldsAreIgnored) {
  dispatch(L"install|/a|/b|1");
  dispatch(L"uninstall|1");
  app_state().mode = RunMode::Uninstall;
  dispatch(L"install|/a|/b|1|1");
  host.pump();
  EXPECT_EQ(installs_.load() + uninstalls_.load(), 0);
  EXPECT_TRUE(take_page_messages().empty());
}

TEST_F(Dispatcher, NamesCompareExactly) {
  app_state().webview = true;
  for (const wchar_t* text : {L"Ready", L"READY", L" ready", L"ready ", L"show!", L"", L"|ready"}) dispatch(text);
  EXPECT_TRUE(host.page.empty());
  EXPECT_TRUE(host.calls.empty());
  EXPECT_TRUE(host.take_posted().empty());
  dispatch(L"ready|ignored");
  ASSERT_EQ(host.page.size(), 1u);
  EXPECT_EQ(test::json_string_member(host.page[0], L"mode"), L"install");
}

TEST_F(Dispatcher, InitTellsThePageWhatStartUpFound) {
  const std::wstring client = dir_ / L"Corvane";
  test::make_dirs(client);
  test::write_text(client + L"/uninstall.exe", "");
  app_state().install_dir = client;
  app_state().game_dir = dir_ / L"no game here";
  dispatch(L"ready");
  EXPECT_TRUE(host.page.empty());  // no view yet: nothing to give it to
  app_state().webview = true;
  dispatch(L"ready");
  ASSERT_EQ(host.page.size(), 1u);
  EXPECT_EQ(host.page[0], L"{\"type\":\"init\",\"version\":\"1.0\",\"mode\":\"install\",\"dir\":\"" + client +
                              L"\",\"gta\":\"" + app_state().game_dir + L"\",\"gtaValid\":false,\"reinstall\":true}");
  app_state().mode = RunMode::Uninstall;
  dispatch(L"ready");
  EXPECT_EQ(host.page[1], L"{\"type\":\"init\",\"version\":\"1.0\",\"mode\":\"uninstall\",\"dir\":\"" + client + L"\"}");
}

TEST_F(Dispatcher, WhileAWorkerRunsOnlyHarmlessCommandsAreCarriedOut) {
  app_state().webview = true;
  app_state().cloaked = true;
  hold_ = true;
  const std::wstring client = dir_ / L"A";
  dispatch(L"install|" + client + L"|||");
  ASSERT_TRUE(app_state().busy.load());

  dispatch(L"install|" + (dir_ / L"B") + L"|||");
  dispatch(L"close");
  dispatch(L"browseInstall|/x");
  dispatch(L"browseGta|/y");
  EXPECT_EQ(app_state().install_dir, client);  // the dropped command changed nothing
  // Still carried out: ready, show, drag, minimize.
  dispatch(L"ready");
  dispatch(L"show");
  dispatch(L"drag");
  dispatch(L"minimize");
  EXPECT_EQ(host.page.size(), 1u);
  EXPECT_EQ(host.count("bring_to_foreground"), 1u);
  EXPECT_EQ(host.count("minimize_window"), 1u);
  EXPECT_EQ(posted_window_messages(), std::vector<WindowMessage>{WM_START_DRAG});

  release_.set_value();
  finish_worker();
  EXPECT_EQ(installs_.load(), 1);
  dispatch(L"browseInstall|/x");
  dispatch(L"browseGta|/y");
  dispatch(L"close");
  EXPECT_EQ(posted_window_messages(), (std::vector<WindowMessage>{WM_BROWSE_INSTALL, WM_BROWSE_GAME, kWindowClose}));
}

TEST_F(Dispatcher, UninstallTakesTheResourcesFlagFromItsField) {
  app_state().mode = RunMode::Uninstall;
  app_state().install_dir = dir_ / L"Corvane";
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"uninstall", false}, {L"uninstall|1", true}, {L"uninstall|0", false}, {L"uninstall|yes", false}, {L"uninstall|1|0", true}};
  for (const auto& [text, remove] : cases) {
    dispatch(text);
    finish_worker();
    ASSERT_TRUE(last_uninstall_.has_value());
    EXPECT_EQ(last_uninstall_->remove_resources, remove) << text;
    EXPECT_EQ(last_uninstall_->install_dir, dir_ / L"Corvane");
  }
  EXPECT_EQ(uninstalls_.load(), 5);
}

TEST_F(Dispatcher, LaunchStartsTheClientAndClosesEvenWhileBusy) {
  test::install_record_launch_program(dir_ / L"Corvane.exe");
  app_state().install_dir = dir_.path();
  app_state().busy.store(true);  // the close that follows is then refused by the window
  dispatch(L"launch");
  EXPECT_EQ(test::wait_for_launch_record(dir_.path()), "");
  EXPECT_EQ(posted_window_messages(), std::vector<WindowMessage>{kWindowClose});
  app_state().busy.store(false);
  app_state().install_dir = dir_ / L"nothing here";
  dispatch(L"launch");  // a client that cannot start still closes the window
  EXPECT_EQ(posted_window_messages(), std::vector<WindowMessage>{kWindowClose});
}

}  // namespace
}  // namespace corvane
