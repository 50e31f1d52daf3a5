#include "app/window_proc.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "ui/worker.h"
#include "os/platform.h"
#include "support/temp_dir.h"
#include "ui/folder_pickers.h"
#include "ui/host_fixture.h"

namespace corvane {
namespace {

class WindowProc : public test::HostFixture {
 protected:
  WindowProc() { host.window_proc = window_proc; }
  bool idle() { return host.pump_until([] { return !app_state().busy.load(); }); }
  // The kinds of the messages posted since the last call, which are taken off the queue.
  std::vector<WindowMessage> posted_kinds() {
    std::vector<WindowMessage> kinds;
    for (const test::PostedMessage& m : host.take_posted()) kinds.push_back(m.message);
    return kinds;
  }
};

TEST_F(WindowProc, PageMessagesReachTheViewOnlyWhileItExists) {
  EXPECT_TRUE(window_proc(WM_UI_MESSAGE, 0, std::make_unique<std::wstring>(L"{\"a\":1}")));  // freed unseen
  on_view_created({});
  EXPECT_TRUE(window_proc(WM_UI_MESSAGE, 0, std::make_unique<std::wstring>(L"{\"b\":2}")));
  EXPECT_EQ(host.page, std::vector<std::wstring>{L"{\"b\":2}"});
  EXPECT_TRUE(window_proc(WM_START_DRAG, 0, nullptr));
  EXPECT_FALSE(window_proc(0x0200, 0, nullptr));  // not ours: the host's default handling
  EXPECT_EQ(host.calls, std::vector<std::string>{"start_drag"});
}

TEST_F(WindowProc, TheWindowIsRevealedOnceByItsTimer) {
  app_state().cloaked = true;
  window_proc(kWindowTimer, 9, nullptr);  // another timer
  window_proc(kWindowTimer, REVEAL_TIMER_ID, nullptr);
  window_proc(kWindowTimer, REVEAL_TIMER_ID, nullptr);  // a later reveal does not take the focus again
  EXPECT_EQ(host.calls,
            (std::vector<std::string>{"kill_timer 1", "set_cloaked 0", "bring_to_foreground", "focus_view",
                                      "kill_timer 1"}));
  EXPECT_FALSE(app_state().cloaked);
}

TEST_F(WindowProc, OneWorkerAtATimeAndACloseWhileItRunsWaitsForItsEnd) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::thread::id worker_thread;
  ASSERT_TRUE(start_worker([&] {
    worker_thread = std::this_thread::get_id();
    released.wait();
  }));
  auto request = std::make_shared<int>(7);
  std::weak_ptr<int> dropped = request;
  EXPECT_FALSE(start_worker([request = std::move(request)] {}));
  EXPECT_TRUE(dropped.expired());  // the dropped job's request is destroyed at once
  release.set_value();
  ASSERT_TRUE(idle());
  EXPECT_FALSE(app_state().worker.joinable());
  EXPECT_NE(worker_thread, std::this_thread::get_id());
  EXPECT_EQ(host.count("destroy_window"), 0u);
  int runs = 0;
  ASSERT_TRUE(start_worker([&runs] { ++runs; }));  // joined: a new worker may start
  ASSERT_TRUE(idle());
  EXPECT_EQ(runs, 1);

  on_view_created({});
  window_proc(kWindowClose, 0, nullptr);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"destroy_window", "release_view", "quit_message_loop"}));
  EXPECT_FALSE(app_state().webview);
}

TEST_F(WindowProc, ACloseDuringARunStopsAnInstallLetsAnUninstallFinishAndThenCloses) {
  const struct {
    RunMode mode;
    bool cancel;
    const wchar_t* page;
  } cases[] = {
      {RunMode::Install, true, L"{\"type\":\"closing\",\"cancel\":true}"},
      {RunMode::Uninstall, false, L"{\"type\":\"closing\",\"cancel\":false}"},
  };
  for (const auto& c : cases) {
    reset_app_state();
    app_state().host = &host;
    app_state().window = true;
    host.calls.clear();
    host.page.clear();
    app_state().mode = c.mode;
    on_view_created({});
    std::promise<void> release;
    ASSERT_TRUE(start_worker([done = release.get_future().share()] { done.wait(); }));
    // The taskbar's Close (or the page's) during the run, twice: the window stays until the run ends.
    window_proc(kWindowClose, 0, nullptr);
    window_proc(kWindowClose, 0, nullptr);
    EXPECT_EQ(host.count("destroy_window"), 0u);
    EXPECT_EQ(app_state().cancel_requested.load(), c.cancel);
    EXPECT_EQ(host.page, std::vector<std::wstring>{c.page});
    release.set_value();
    ASSERT_TRUE(host.pump_until([this] { return host.count("destroy_window") == 1; }));
    EXPECT_FALSE(app_state().busy.load());
    // The next run starts without the old request.
    ASSERT_TRUE(start_worker([] {}));
    EXPECT_FALSE(app_state().cancel_requested.load());
    ASSERT_TRUE(idle());
  }
}

TEST_F(WindowProc, PickersStoreTheChosenFoldersAndTellThePage) {
  test::TempDir dir;
  app_state().install_dir = dir / L"not/yet/Corvane";
  host.dialog_answer = dir / L"Games/";
  window_proc(WM_BROWSE_INSTALL, 0, nullptr);
  EXPECT_EQ(app_state().install_dir, dir / L"Games/Corvane");
  host.dialog_answer = dir / L"GTA V//";  // the game picker stores any folder, holding the game or not
  window_proc(WM_BROWSE_GAME, 0, nullptr);
  EXPECT_EQ(app_state().game_dir, dir / L"GTA V");
  test::make_dirs(dir / L"GTA V");
  test::write_text(dir / L"GTA V/GTA5.exe", "");
  window_proc(WM_BROWSE_GAME, 0, nullptr);
  host.dialog_answer.clear();  // cancelled: nothing changes, nothing is sent
  window_proc(WM_BROWSE_INSTALL, 0, nullptr);
  EXPECT_EQ(app_state().install_dir, dir / L"Games/Corvane");

  EXPECT_EQ(host.dialogs,
            (std::vector<std::pair<std::wstring, std::wstring>>{
                {L"Куда установить клиент", dir.path()},  // the nearest existing ancestor
                {L"Папка с GTA V (где лежит GTA5.exe)", L""},  // no game folder yet: the system chooses
                {L"Папка с GTA V (где лежит GTA5.exe)", dir / L"GTA V"},
                {L"Куда установить клиент", dir.path()}}));  // Games/Corvane does not exist yet
  EXPECT_EQ(take_page_messages(),
            (std::vector<std::wstring>{
                L"{\"type\":\"installDir\",\"dir\":\"" + test::json_escaped(dir / L"Games/Corvane") + L"\"}",
                L"{\"type\":\"gtaDir\",\"dir\":\"" + test::json_escaped(dir / L"GTA V") + L"\",\"valid\":false}",
                L"{\"type\":\"gtaDir\",\"dir\":\"" + test::json_escaped(dir / L"GTA V") + L"\",\"valid\":true}"}));
}

TEST_F(WindowProc, PickersRefuseFoldersThatCannotTravelThroughThePage) {
  test::TempDir dir;
  app_state().install_dir = dir / L"Corvane";
  app_state().game_dir = dir / L"GTA V";
  const std::wstring lone = std::wstring(1, wchar_t(0xDCE9));
  for (const std::wstring& picked : {dir / L"a|b", dir / (L"caf" + lone), dir / L"caf\uFFFD"}) {
    host.dialog_answer = picked;
    window_proc(WM_BROWSE_INSTALL, 0, nullptr);
    window_proc(WM_BROWSE_GAME, 0, nullptr);
  }
  EXPECT_EQ(app_state().install_dir, dir / L"Corvane");
  EXPECT_EQ(app_state().game_dir, dir / L"GTA V");
  const std::wstring bar = L"{\"type\":\"error\",\"message\":\"Путь к папке содержит недопустимый символ «|». "
                           L"Выберите другую папку.\"}";
  const std::wstring unreadable = L"{\"type\":\"error\",\"message\":\"Путь к папке содержит недопустимые "
                                  L"символы. Выберите другую папку.\"}";
  EXPECT_EQ(take_page_messages(), (std::vector<std::wstring>{bar, bar, unreadable, unreadable, unreadable, unreadable}));
  // Letters beyond U+FFFF are ordinary characters.
  EXPECT_EQ(folder_refusal(dir / L"Games \U0001F600"), L"");
  EXPECT_EQ(folder_refusal(dir / L"\u0418\u0433\u0440\u044b"), L"");
}

TEST(FolderPick, PickedFoldersBecomeInstallFolders) {
  EXPECT_EQ(install_dir_from_pick(L"/srv/games/CORVANE/"), L"/srv/games/CORVANE");
  EXPECT_EQ(install_dir_from_pick(L"/srv/games"), std::wstring(L"/srv/games") + os::kSep + L"Corvane");
  EXPECT_EQ(install_dir_from_pick(L"/"), L"/Corvane");
  EXPECT_EQ(install_dir_from_pick(L"E:\\"), L"E:\\Corvane");
  EXPECT_EQ(install_dir_from_pick(L"D:\\Games\\corvane\\"), L"D:\\Games\\corvane");
}

TEST_F(WindowProc, AMissingRuntimeIsOfferedForDownloadAndClosesTheSetup) {
  for (const MessageBoxAnswer answer : {MessageBoxAnswer::No, MessageBoxAnswer::Yes}) {
    host.box_answer = answer;
    const std::size_t boxes = host.boxes.size();
    on_view_created({ViewStatus::RuntimeMissing, 0});
    // Nothing is shown inside the host's report: the prompt comes once it has been handled.
    EXPECT_EQ(host.boxes.size(), boxes);
    EXPECT_EQ(posted_kinds(), std::vector<WindowMessage>{WM_VIEW_UNAVAILABLE});
    window_proc(WM_VIEW_UNAVAILABLE, 0, nullptr);
    EXPECT_EQ(posted_kinds(), std::vector<WindowMessage>{kWindowClose});  // no second attempt
  }
  EXPECT_EQ(host.boxes.at(0),
            L"Для установщика нужен компонент Microsoft Edge WebView2.\n\nОткрыть страницу загрузки? После установки "
            L"компонента запустите установщик снова.");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"question box", "question box", "open_url"}));
  EXPECT_FALSE(app_state().webview);

  // A runtime for another processor only: the prompt says which part is missing.
  on_view_created({ViewStatus::RuntimeWithoutX64, 0x800700D8});
  window_proc(WM_VIEW_UNAVAILABLE, 0, nullptr);
  EXPECT_EQ(host.boxes.back(),
            L"На компьютере есть компонент Microsoft Edge WebView2, но нет его части для 64-разрядных программ (x64), "
            L"которая нужна установщику.\n\nОткрыть страницу загрузки? Установите компонент для x64, затем "
            L"запустите установщик снова.");
  EXPECT_EQ(posted_kinds(), (std::vector<WindowMessage>{WM_VIEW_UNAVAILABLE, kWindowClose}));
}

TEST_F(WindowProc, AFailedCreationIsTriedOnceMoreAfterThePause) {
  on_view_created({ViewStatus::Failed, 0x8007139F});  // e.g. an earlier setup still holds the data folder
  EXPECT_EQ(posted_kinds(), std::vector<WindowMessage>{WM_VIEW_UNAVAILABLE});
  window_proc(WM_VIEW_UNAVAILABLE, 0, nullptr);
  EXPECT_EQ(host.calls, std::vector<std::string>{"set_timer 2 1000"});
  window_proc(kWindowTimer, VIEW_RETRY_TIMER_ID, nullptr);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"set_timer 2 1000", "kill_timer 2", "release_view", "create_view"}));
  on_view_created({});
  EXPECT_TRUE(app_state().webview);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_TRUE(posted_kinds().empty());
}

TEST_F(WindowProc, ASecondFailureIsToldWithItsCodeAndNotAsAMissingRuntime) {
  on_view_created({ViewStatus::Failed, 0x80004005});
  window_proc(WM_VIEW_UNAVAILABLE, 0, nullptr);
  window_proc(kWindowTimer, VIEW_RETRY_TIMER_ID, nullptr);
  on_view_created({ViewStatus::Failed, 0x8007007F});
  EXPECT_EQ(posted_kinds(), (std::vector<WindowMessage>{WM_VIEW_UNAVAILABLE, WM_VIEW_UNAVAILABLE}));
  window_proc(WM_VIEW_UNAVAILABLE, 0, nullptr);
  EXPECT_EQ(host.boxes, std::vector<std::wstring>{L"Не удалось открыть окно установщика (код 0x8007007F). Закройте "
                                                  L"другие копии установщика и запустите его снова."});
  EXPECT_EQ(host.count("error box"), 1u);
  EXPECT_EQ(host.count("open_url"), 0u);
  EXPECT_EQ(posted_kinds(), std::vector<WindowMessage>{kWindowClose});
}

TEST_F(WindowProc, OnEachMonitorThePageIsFittedAsAtStartUpAndFillsTheView) {
  struct Case {
    RunMode mode;
    std::uint32_t dpi;
    ScreenRect work_area;
    ScreenRect placement;
  };
  const Case cases[] = {
      // A large 200 % monitor: twice the 120 % window, centred.
      {RunMode::Install, 192, {0, 0, 3840, 2120}, {720, 184, 3120, 1936}},
      // 200 %, 1400 pixels high, right of the primary: 92 % of it holds 730 CSS pixels at 0.882.
      {RunMode::Install, 192, {1920, 0, 4480, 1400}, {2318, 56, 4082, 1344}},
      {RunMode::Uninstall, 96, {0, 0, 1920, 1040}, {555, 199, 1365, 840}},
  };
  for (const Case& c : cases) {
    app_state().mode = c.mode;
    const ScreenRect r = placement_on_monitor(c.dpi, c.work_area);
    EXPECT_EQ(std::vector<int>({r.left, r.top, r.right, r.bottom}),
              std::vector<int>({c.placement.left, c.placement.top, c.placement.right, c.placement.bottom}));
  }
  // The view of the 1400-pixel monitor with 125 % text on top of its 200 %: the page still fills
  // it, at a zoom 1.25 times smaller; a minimised view keeps the zoom it had.
  app_state().mode = RunMode::Install;
  EXPECT_NEAR(view_zoom_for(1764, 1288, 2.5), 0.92 * 1400 / 1460 / 1.25, 1e-3);
  EXPECT_DOUBLE_EQ(view_zoom_for(0, 0, 2.5), app_state().zoom);
  EXPECT_NEAR(app_state().zoom, 0.92 * 1400 / 1460 / 1.25, 1e-3);
}

TEST_F(WindowProc, AtTheEndOfTheSessionTheViewGoesAndARunIsNotWaitedFor) {
  on_view_created({});
  window_proc(kWindowEndSession, 0, nullptr);  // the logoff was called off
  EXPECT_TRUE(host.calls.empty());

  std::promise<void> release;
  ASSERT_TRUE(start_worker([future = release.get_future().share()] { future.wait(); }));
  window_proc(kWindowEndSession, 1, nullptr);
  EXPECT_EQ(host.count("release_view"), 1u);
  EXPECT_EQ(host.count("destroy_window"), 0u);  // it would wait for the run
  EXPECT_FALSE(app_state().webview);
  EXPECT_TRUE(app_state().busy.load());
  release.set_value();
  ASSERT_TRUE(idle());

  host.calls.clear();
  window_proc(kWindowEndSession, 1, nullptr);
  EXPECT_EQ(host.count("destroy_window"), 1u);
  EXPECT_EQ(host.calls.back(), "quit_message_loop");
}

TEST_F(WindowProc, ALogoffIsHeldUpOnlyWhileARunIsUnderWay) {
  EXPECT_TRUE(session_may_end());
  EXPECT_TRUE(host.shutdown_reasons.empty());
  std::promise<void> release;
  ASSERT_TRUE(start_worker([future = release.get_future().share()] { future.wait(); }));
  const std::wstring reason = L"Идет установка клиента Corvane. Пожалуйста, дождитесь ее окончания.";
  EXPECT_EQ(host.shutdown_reasons, std::vector<std::wstring>{reason});  // given when the run starts
  EXPECT_FALSE(session_may_end());
  EXPECT_EQ(host.shutdown_reasons.back(), reason);
  release.set_value();
  ASSERT_TRUE(idle());
  EXPECT_EQ(host.shutdown_reasons.back(), L"");  // lifted when the run has ended
  EXPECT_TRUE(session_may_end());

  app_state().mode = RunMode::Uninstall;
  ASSERT_TRUE(start_worker([] {}));
  EXPECT_EQ(host.shutdown_reasons.back(), L"Идет удаление Corvane. Пожалуйста, дождитесь его окончания.");
  ASSERT_TRUE(idle());
  EXPECT_EQ(host.shutdown_reasons.back(), L"");
}

}  // namespace
}  // namespace corvane
