// The page's view over the window's life: its processes die during a run and it is made anew,
// showing the run where it stands; a second death soon after ends the attempts, and the window
// closes once the run has ended, telling how it ended.
#include <gtest/gtest.h>

#include <future>

#include "app/view_lifecycle.h"
#include "app/window_proc.h"
#include "ui/dispatcher.h"
#include "ui/host_fixture.h"
#include "ui/ui_messages.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Next = ViewLifecycle::Next;

TEST(ViewLifecycle, OneRetryPerCreationAndNoRetryWithoutARuntime) {
  ViewLifecycle first;
  first.report_failure({ViewStatus::RuntimeMissing, 0x80070002});
  EXPECT_EQ(first.creation_failed(), Next::RuntimePrompt);

  ViewLifecycle busy_folder;
  busy_folder.report_failure({ViewStatus::Failed, 0x8007139F});
  EXPECT_EQ(busy_folder.creation_failed(), Next::Retry);
  EXPECT_EQ(busy_folder.creation_failed(), Next::CreationError);
  EXPECT_EQ(busy_folder.failure().error, 0x8007139Fu);

  // Once a view has been seen, failing to make it again ends the attempts instead.
  ViewLifecycle later;
  later.created();
  later.report_failure({ViewStatus::Failed, 1});
  EXPECT_EQ(later.creation_failed(), Next::Retry);
  later.created();  // the retry worked: the next failure has its own retry
  EXPECT_EQ(later.creation_failed(), Next::Retry);
  EXPECT_EQ(later.creation_failed(), Next::GiveUp);
  EXPECT_TRUE(later.given_up());
  EXPECT_EQ(later.creation_failed(), Next::Nothing);

  ViewLifecycle removed;
  removed.created();
  removed.report_failure({ViewStatus::RuntimeMissing, 0});
  EXPECT_EQ(removed.creation_failed(), Next::GiveUp);
}

TEST(ViewLifecycle, DeathsFarApartAreRecoveredFromButNotTwoInAShortTime) {
  const auto t0 = ViewLifecycle::Clock::time_point() + 1000s;
  ViewLifecycle view;
  view.created();
  EXPECT_EQ(view.view_died(t0), Next::Recreate);
  view.created();
  EXPECT_EQ(view.view_died(t0 + kViewDeathWindow), Next::Recreate);
  view.created();
  EXPECT_EQ(view.view_died(t0 + kViewDeathWindow + kViewDeathWindow - 1s), Next::GiveUp);
  EXPECT_EQ(view.view_died(t0 + 1h), Next::Nothing);
}

// A window with a view whose install job reports as a run does and then waits for the test.
class ViewRecovery : public test::HostFixture {
 protected:
  ViewRecovery() {
    host.window_proc = window_proc;
    jobs_.install = [this](const InstallRequest&) {
      send_stage(L"download");
      send_progress(nullptr, 100, 400, 1, 4);
      step_.get_future().wait();
      send_progress(nullptr, 200, 400, 2, 4);
      end_.get_future().wait();
      post_to_ui(outcome_);
    };
    on_view_created({});
  }
  ~ViewRecovery() override {
    // A test that stopped early must not leave the worker waiting.
    if (!stepped_) step_.set_value();
    if (!ended_) end_.set_value();
  }

  void page(std::wstring_view command) { dispatch_command(command, jobs_); }
  void step() {
    stepped_ = true;
    step_.set_value();
  }
  void end_run(UiMessage outcome) {
    outcome_ = std::move(outcome);
    ended_ = true;
    end_.set_value();
  }
  // Delivers what was posted until the page holds `count` messages.
  bool page_has(std::size_t count) { return host.pump_until([&] { return host.page.size() == count; }); }
  bool idle() { return host.pump_until([] { return !app_state().busy.load(); }); }

  CommandJobs jobs_;
  std::promise<void> step_;
  std::promise<void> end_;
  bool stepped_ = false;
  bool ended_ = false;
  UiMessage outcome_;
};

const std::wstring kStage = L"{\"type\":\"stage\",\"stage\":\"download\"}";
const std::wstring kProgress1 = L"{\"type\":\"progress\",\"done\":100,\"total\":400,\"files\":1,\"filesTotal\":4}";
const std::wstring kProgress2 = L"{\"type\":\"progress\",\"done\":200,\"total\":400,\"files\":2,\"filesTotal\":4}";

TEST_F(ViewRecovery, ANewViewIsMadeAndItsPageShownTheRunWhereItStands) {
  page(L"install|/games/Corvane||0|1");
  ASSERT_TRUE(page_has(2));
  EXPECT_EQ(host.page, (std::vector<std::wstring>{kStage, kProgress1}));

  window_proc(WM_VIEW_FAILED, 0, nullptr);
  EXPECT_EQ(std::vector<std::string>(host.calls.end() - 2, host.calls.end()),
            (std::vector<std::string>{"release_view", "create_view"}));
  EXPECT_FALSE(app_state().webview);
  EXPECT_TRUE(host.boxes.empty());

  // The run goes on while the view is made: its report is kept, not shown.
  host.page.clear();
  step();
  ASSERT_TRUE(host.pump_until([] { return message_type(app_state().run.progress) == L"progress" &&
                                          app_state().run.progress.find(L"200") != std::wstring::npos; }));
  EXPECT_TRUE(host.page.empty());

  on_view_created({});
  page(L"ready");
  ASSERT_EQ(host.page.size(), 4u);
  EXPECT_EQ(message_type(host.page[0]), L"init");
  EXPECT_EQ(host.page[1],
            L"{\"type\":\"resume\",\"running\":true,\"desktopShortcut\":false,\"startMenuShortcut\":true}");
  EXPECT_EQ(host.page[2], kStage);
  EXPECT_EQ(host.page[3], kProgress2);

  end_run(installed_message("1.4.2", "2025-11-02"));
  ASSERT_TRUE(idle());
  EXPECT_EQ(host.page.back(), L"{\"type\":\"installed\",\"version\":\"1.4.2\",\"date\":\"2025-11-02\"}");

  // A page that comes up after the run has ended shows how it ended, with no progress before it.
  host.page.clear();
  page(L"ready");
  ASSERT_EQ(host.page.size(), 3u);
  EXPECT_EQ(host.page[1],
            L"{\"type\":\"resume\",\"running\":false,\"desktopShortcut\":false,\"startMenuShortcut\":true}");
  EXPECT_EQ(message_type(host.page[2]), L"installed");
  EXPECT_EQ(host.count("destroy_window"), 0u);
}

TEST_F(ViewRecovery, ASecondDeathSoonAfterClosesTheWindowOnceTheRunHasEnded) {
  page(L"install|/games/Corvane||1|1");
  ASSERT_TRUE(page_has(2));
  window_proc(WM_VIEW_FAILED, 0, nullptr);
  on_view_created({});
  window_proc(WM_VIEW_FAILED, 0, nullptr);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0],
            L"Окно установщика перестало отвечать, и восстановить его не удалось. Установка продолжается: окно "
            L"закроется само, когда она завершится.");
  EXPECT_EQ(host.count("create_view"), 1u);  // made anew once, not twice
  EXPECT_FALSE(app_state().webview);

  // A close now asks the run to stop and waits for it, and a third death changes nothing.
  window_proc(kWindowClose, 0, nullptr);
  window_proc(WM_VIEW_FAILED, 0, nullptr);
  EXPECT_EQ(host.count("destroy_window"), 0u);
  EXPECT_EQ(host.boxes.size(), 1u);

  step();
  end_run(error_message(L"Часть файлов не скачалась. Проверьте подключение к интернету и повторите."));
  ASSERT_TRUE(host.pump_until([this] { return host.count("destroy_window") == 1; }));
  // The user learns how the run ended from a box, in the page's words.
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[1], L"Часть файлов не скачалась. Проверьте подключение к интернету и повторите.");
  EXPECT_EQ(host.calls.back(), "quit_message_loop");
}

TEST_F(ViewRecovery, WithoutARunTheWindowClosesAtOnce) {
  app_state().mode = RunMode::Uninstall;
  window_proc(WM_VIEW_FAILED, 0, nullptr);
  // The new view cannot be made, not even on the retry.
  on_view_created({ViewStatus::Failed, 0x80004005});
  ASSERT_TRUE(host.pump_until([this] { return host.count("set_timer 2 1000") == 1; }));
  window_proc(kWindowTimer, VIEW_RETRY_TIMER_ID, nullptr);
  on_view_created({ViewStatus::Failed, 0x80004005});
  ASSERT_TRUE(host.pump_until([this] { return host.count("destroy_window") == 1; }));
  EXPECT_EQ(host.boxes, std::vector<std::wstring>{L"Окно установщика перестало отвечать, и восстановить его не "
                                                  L"удалось. Запустите установщик снова."});
  EXPECT_EQ(host.count("question box"), 0u);
}

}  // namespace
}  // namespace corvane
