#include "app/window_proc.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "app/worker.h"
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
};

TEST_F(WindowProc, PageMessagesReachTheViewOnlyWhileItExists) {
  EXPECT_TRUE(window_proc(WM_UI_MESSAGE, 0, std::make_unique<std::wstring>(L"{\"a\":1}")));  // freed unseen
  on_view_created(true);
  EXPECT_TRUE(window_proc(WM_UI_MESSAGE, 0, std::make_unique<std::wstring>(L"{\"b\":2}")));
  EXPECT_EQ(host.page, std::vector<std::wstring>{L"{\"b\":2}"});
  EXPECT_TRUE(window_proc(WM_START_DRAG, 0, nullptr));
  EXPECT_FALSE(window_proc(0x0200, 0, nullptr));  // not ours: the host's default handling
  EXPECT_EQ(host.calls, std::vector<std::string>{"start_drag"});
}

TEST_F(WindowProc, TheWindowIsRevealedOnceByItsTimer) {
  app_state().cloaked = true;
  window_proc(kWindowTimer, 2, nullptr);  // another timer
  window_proc(kWindowTimer, REVEAL_TIMER_ID, nullptr);
  window_proc(kWindowTimer, REVEAL_TIMER_ID, nullptr);  // a later reveal does not take the focus again
  EXPECT_EQ(host.calls,
            (std::vector<std::string>{"kill_timer 1", "set_cloaked 0", "bring_to_foreground", "kill_timer 1"}));
  EXPECT_FALSE(app_state().cloaked);
}

TEST_F(WindowProc, OneWorkerAtATimeAndNoCloseWhileItRuns) {
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
  window_proc(kWindowClose, 0, nullptr);  // e.g. the taskbar's Close during an install
  EXPECT_EQ(host.count("destroy_window"), 0u);

  release.set_value();
  ASSERT_TRUE(idle());
  EXPECT_FALSE(app_state().worker.joinable());
  EXPECT_NE(worker_thread, std::this_thread::get_id());
  int runs = 0;
  ASSERT_TRUE(start_worker([&runs] { ++runs; }));  // joined: a new worker may start
  ASSERT_TRUE(idle());
  EXPECT_EQ(runs, 1);

  on_view_created(true);
  window_proc(kWindowClose, 0, nullptr);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"destroy_window", "release_view", "quit_message_loop"}));
  EXPECT_FALSE(app_state().webview);
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

TEST(FolderPick, PickedFoldersBecomeInstallFolders) {
  EXPECT_EQ(install_dir_from_pick(L"/srv/games/CORVANE/"), L"/srv/games/CORVANE");
  EXPECT_EQ(install_dir_from_pick(L"/srv/games"), std::wstring(L"/srv/games") + os::kSep + L"Corvane");
  EXPECT_EQ(install_dir_from_pick(L"/"), L"/Corvane");
  EXPECT_EQ(install_dir_from_pick(L"E:\\"), L"E:\\Corvane");
  EXPECT_EQ(install_dir_from_pick(L"D:\\Games\\corvane\\"), L"D:\\Games\\corvane");
}

TEST_F(WindowProc, AMissingRuntimeIsOfferedForDownloadAndClosesTheSetup) {
  host.box_answer = MessageBoxAnswer::No;
  on_view_created(false);
  host.box_answer = MessageBoxAnswer::Yes;
  on_view_created(false);
  EXPECT_EQ(host.boxes.at(0),
            L"Для установщика нужен компонент Microsoft Edge WebView2.\n\nОткрыть страницу загрузки? После установки "
            L"компонента запустите установщик снова.");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"question box", "question box", "open_url"}));
  EXPECT_FALSE(app_state().webview);
  std::vector<WindowMessage> posted;
  for (const test::PostedMessage& m : host.take_posted()) posted.push_back(m.message);
  EXPECT_EQ(posted, (std::vector<WindowMessage>{kWindowClose, kWindowClose}));
}

}  // namespace
}  // namespace corvane
