#include "app/window_proc.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

#include "app/app_state.h"
#include "app/worker.h"
#include "support/temp_dir.h"
#include "ui/folder_pickers.h"
#include "ui/host_fixture.h"

namespace corvane {
namespace {

class WindowProc : public test::HostFixture {
 protected:
  WindowProc() { host.window_proc = window_proc; }

  static std::unique_ptr<std::wstring> text(const wchar_t* t) { return std::make_unique<std::wstring>(t); }
};

TEST_F(WindowProc, PageMessagesReachTheViewOnlyWhileItExists) {
  EXPECT_TRUE(window_proc(WM_UI_MESSAGE, 0, text(L"{\"type\":\"stage\"}")));  // freed unseen
  EXPECT_TRUE(host.page.empty());
  on_view_created(true);
  EXPECT_TRUE(window_proc(WM_UI_MESSAGE, 0, text(L"{\"type\":\"stage\"}")));
  EXPECT_EQ(host.page, std::vector<std::wstring>{L"{\"type\":\"stage\"}"});
  EXPECT_FALSE(window_proc(0x0200, 0, nullptr));  // not ours: the host's default handling
}

TEST_F(WindowProc, RevealHappensOnceOnTheTimerOrOnShow) {
  app_state().cloaked = true;
  window_proc(kWindowTimer, 2, nullptr);  // another timer
  EXPECT_TRUE(host.calls.empty());
  window_proc(kWindowTimer, REVEAL_TIMER_ID, nullptr);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"kill_timer 1", "set_cloaked 0", "bring_to_foreground"}));
  EXPECT_FALSE(app_state().cloaked);
  window_proc(kWindowTimer, REVEAL_TIMER_ID, nullptr);
  EXPECT_EQ(host.count("bring_to_foreground"), 1u);  // a second reveal does not steal the focus again
  EXPECT_EQ(host.count("kill_timer 1"), 2u);
}

TEST_F(WindowProc, CloseIsRefusedWhileAWorkerRunsAndDestroyJoinsIt) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::thread::id worker_thread;
  ASSERT_TRUE(start_worker([&] {
    worker_thread = std::this_thread::get_id();
    released.wait();
  }));
  EXPECT_TRUE(app_state().busy.load());
  window_proc(kWindowClose, 0, nullptr);  // e.g. the taskbar's Close during an install
  EXPECT_EQ(host.count("destroy_window"), 0u);

  release.set_value();
  ASSERT_TRUE(host.pump_until([] { return !app_state().busy.load(); }));
  EXPECT_FALSE(app_state().worker.joinable());
  EXPECT_NE(worker_thread, std::this_thread::get_id());

  on_view_created(true);
  window_proc(kWindowClose, 0, nullptr);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"destroy_window", "release_view", "quit_message_loop"}));
  EXPECT_FALSE(app_state().webview);
}

TEST_F(WindowProc, OneWorkerAtATimeAndADroppedJobIsDestroyed) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  ASSERT_TRUE(start_worker([released] { released.wait(); }));
  auto request = std::make_shared<int>(7);
  std::weak_ptr<int> watch = request;
  int runs = 0;
  EXPECT_FALSE(start_worker([request = std::move(request), &runs] { ++runs; }));
  EXPECT_TRUE(watch.expired());
  release.set_value();
  ASSERT_TRUE(host.pump_until([] { return !app_state().busy.load(); }));
  // After the join a new worker may start.
  ASSERT_TRUE(start_worker([&runs] { ++runs; }));
  ASSERT_TRUE(host.pump_until([] { return !app_state().busy.load(); }));
  EXPECT_EQ(runs, 1);
}

TEST_F(WindowProc, TheInstallPickerStartsAtAnExistingFolderAndAddsTheSubfolder) {
  test::TempDir dir;
  app_state().install_dir = dir / L"not/yet/Corvane";
  host.dialog_answer = dir / L"Games/";
  window_proc(WM_BROWSE_INSTALL, 0, nullptr);
  ASSERT_EQ(host.dialogs.size(), 1u);
  EXPECT_EQ(host.dialogs[0].first, L"Куда установить клиент");
  EXPECT_EQ(host.dialogs[0].second, dir.path());  // nearest existing ancestor
  EXPECT_EQ(app_state().install_dir, dir / L"Games/Corvane");
  EXPECT_EQ(take_page_messages(),
            std::vector<std::wstring>{L"{\"type\":\"installDir\",\"dir\":\"" + (dir / L"Games/Corvane") + L"\"}"});

  host.dialog_answer.clear();  // cancelled
  window_proc(WM_BROWSE_INSTALL, 0, nullptr);
  EXPECT_EQ(app_state().install_dir, dir / L"Games/Corvane");
  EXPECT_TRUE(take_page_messages().empty());
}

TEST_F(WindowProc, PickedFoldersBecomeInstallFolders) {
  EXPECT_EQ(install_dir_from_pick(L"/srv/games/corvane/"), L"/srv/games/corvane");
  EXPECT_EQ(install_dir_from_pick(L"/srv/games/CORVANE"), L"/srv/games/CORVANE");
  EXPECT_EQ(install_dir_from_pick(L"/srv/games"), L"/srv/games/Corvane");
  EXPECT_EQ(install_dir_from_pick(L"/"), L"/Corvane");
  EXPECT_EQ(install_dir_from_pick(L"E:\\"), L"E:\\Corvane");
  EXPECT_EQ(install_dir_from_pick(L"D:\\Games\\corvane\\"), L"D:\\Games\\corvane");
  EXPECT_EQ(picker_start_folder(L""), L"");
  EXPECT_EQ(picker_start_folder(L"relative/missing"), L"");
}

TEST_F(WindowProc, TheGamePickerStoresAnyFolderAndTellsWhetherItHoldsTheGame) {
  test::TempDir dir;
  host.dialog_answer = dir / L"GTA V//";
  window_proc(WM_BROWSE_GAME, 0, nullptr);
  EXPECT_EQ(host.dialogs.at(0).first, L"Папка с GTA V (где лежит GTA5.exe)");
  EXPECT_EQ(host.dialogs.at(0).second, L"");  // no game folder yet: the system chooses
  EXPECT_EQ(app_state().game_dir, dir / L"GTA V");
  EXPECT_EQ(take_page_messages(),
            std::vector<std::wstring>{L"{\"type\":\"gtaDir\",\"dir\":\"" + (dir / L"GTA V") + L"\",\"valid\":false}"});
  test::make_dirs(dir / L"GTA V");
  test::write_text(dir / L"GTA V/GTA5.exe", "");
  window_proc(WM_BROWSE_GAME, 0, nullptr);
  EXPECT_EQ(host.dialogs.at(1).second, dir / L"GTA V");
  EXPECT_EQ(take_page_messages(),
            std::vector<std::wstring>{L"{\"type\":\"gtaDir\",\"dir\":\"" + (dir / L"GTA V") + L"\",\"valid\":true}"});
}

TEST_F(WindowProc, DragAndAMissingRuntime) {
  window_proc(WM_START_DRAG, 0, nullptr);
  EXPECT_EQ(host.calls, std::vector<std::string>{"start_drag"});
  host.box_answer = MessageBoxAnswer::No;
  on_view_created(false);
  host.box_answer = MessageBoxAnswer::Yes;
  on_view_created(false);
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[0],
            L"Для установщика нужен компонент Microsoft Edge WebView2.\n\nОткрыть страницу загрузки? После установки "
            L"компонента запустите установщик снова.");
  EXPECT_EQ(host.box_kinds[0], MessageBoxKind::YesNoWarning);
  EXPECT_EQ(host.opened_urls.size(), 1u);  // only after Yes
  EXPECT_FALSE(app_state().webview);
  std::vector<WindowMessage> posted;
  for (const test::PostedMessage& m : host.take_posted()) posted.push_back(m.message);
  EXPECT_EQ(posted, (std::vector<WindowMessage>{kWindowClose, kWindowClose}));
}

}  // namespace
}  // namespace corvane
