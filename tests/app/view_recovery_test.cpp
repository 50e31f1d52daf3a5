// The page's view over the window's life: during a run its renderer dies and the page is loaded
// again, its view dies or its page hangs past a ping and the view is made anew, each time showing
// the run where it stands; a second loss soon after ends the attempts, and the window closes once
// the run has ended, telling how it ended.
#include <gtest/gtest.h>

#include <future>

#include "ui/view_lifecycle.h"
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

TEST(ViewLifecycle, EachFailureHasItsRecoveryAndTwoLossesWithinAMinuteEndTheAttempts) {
  enum class Event { Died, RendererExited, Unresponsive, Answered, PingTimedOut };
  struct Step {
    Event event;
    int second;
    Next next;
  };
  // A busy system: reports for less than 10 s are ignored, a longer spell gets a ping, and an
  // answer ends the spell; reports 20 s apart are separate spells.
  const Step steps[] = {
      {Event::Unresponsive, 0, Next::Nothing},    {Event::Unresponsive, 5, Next::Nothing},
      {Event::Unresponsive, 10, Next::Ping},      {Event::Unresponsive, 12, Next::Nothing},
      {Event::Answered, 13, Next::Nothing},       {Event::Unresponsive, 14, Next::Nothing},
      {Event::Unresponsive, 23, Next::Nothing},   {Event::Unresponsive, 44, Next::Nothing},
      {Event::Unresponsive, 50, Next::Nothing},   {Event::Unresponsive, 54, Next::Ping},
      // No answer: the page is lost and its view made anew; a late timer finds nothing to do.
      {Event::PingTimedOut, 59, Next::Recreate},  {Event::PingTimedOut, 60, Next::Nothing},
      // A renderer that died is loaded again, a view that died made anew, a minute apart each.
      {Event::RendererExited, 119, Next::Reload}, {Event::Died, 179, Next::Recreate},
      {Event::Unresponsive, 180, Next::Nothing},  {Event::RendererExited, 200, Next::GiveUp},
      {Event::Unresponsive, 400, Next::Nothing},  {Event::Died, 500, Next::Nothing},
  };
  const auto t0 = ViewLifecycle::Clock::time_point() + 1000s;
  ViewLifecycle view;
  view.created();
  for (const Step& step : steps) {
    const auto now = t0 + std::chrono::seconds(step.second);
    Next next = Next::Nothing;
    switch (step.event) {
      case Event::Died: next = view.view_died(now); break;
      case Event::RendererExited: next = view.renderer_exited(now); break;
      case Event::Unresponsive: next = view.unresponsive(now); break;
      case Event::Answered: view.ping_answered(); break;
      case Event::PingTimedOut: next = view.ping_timed_out(now); break;
    }
    EXPECT_EQ(next, step.next) << "at second " << step.second;
  }
  EXPECT_TRUE(view.given_up());
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
    app_state().install_dir = L"/games/Corvane";  // the folder the page shows and sends back
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

TEST_F(ViewRecovery, APageThatDiedOrHangsIsBroughtBackWhileTheRunGoesOn) {
  page(L"install|/games/Corvane||0|1");
  ASSERT_TRUE(page_has(2));
  const std::vector<std::wstring> back{
      L"{\"type\":\"resume\",\"running\":true,\"desktopShortcut\":false,\"startMenuShortcut\":true}", kStage,
      kProgress1};
  auto page_comes_back = [&] {
    host.page.clear();
    page(L"ready");
    EXPECT_EQ(message_type(host.page.at(0)), L"init");
    EXPECT_EQ(std::vector<std::wstring>(host.page.begin() + 1, host.page.end()), back);
  };

  // The renderer died: the same view loads the page again, which asks where the run stands.
  host.calls.clear();
  window_proc(WM_VIEW_RENDERER_EXITED, 0, nullptr);
  EXPECT_EQ(host.calls, std::vector<std::string>{"reload_view"});
  EXPECT_TRUE(app_state().webview);
  page_comes_back();

  // Over a minute later the page has been unresponsive for a while and does not answer the ping:
  // a new view, this time one that cannot reload.
  app_state().view = ViewLifecycle();
  app_state().view.created();
  app_state().view.unresponsive(ViewLifecycle::Clock::now() - kUnresponsiveGrace);
  host.calls.clear();
  window_proc(WM_VIEW_UNRESPONSIVE, 0, nullptr);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"ping_view", "set_timer 3 5000"}));
  window_proc(kWindowTimer, VIEW_PING_TIMER_ID, nullptr);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"ping_view", "set_timer 3 5000", "kill_timer 3", "release_view",
                                                  "create_view"}));
  on_view_created({});
  page_comes_back();
  app_state().view = ViewLifecycle();
  app_state().view.created();
  host.view_reloads = false;
  host.calls.clear();
  window_proc(WM_VIEW_RENDERER_EXITED, 0, nullptr);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"reload_view", "release_view", "create_view"}));

  // None of it touched the run, which ends as it would have.
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_TRUE(app_state().busy.load());
  on_view_created({});
  step();
  end_run(installed_message("1.4.2", "2025-11-02"));
  ASSERT_TRUE(idle());
  EXPECT_EQ(host.page.back(), L"{\"type\":\"installed\",\"version\":\"1.4.2\",\"date\":\"2025-11-02\"}");
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
