// The Win32 window host under Wine with a display: the window it makes, posts from several threads
// delivered in order on the window thread, timers, a close from the system handed to the portable
// side, destruction, a view that cannot be created, and how the view (a double of the runtime's)
// follows the window: moves, a change of monitor DPI, minimising, activation, the end of the
// session and a view whose processes died.
#include "ui/win32/win32_ui_host.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <shlwapi.h>

#include <algorithm>
#include <map>
#include <thread>
#include <vector>

#include "ui/app_state.h"
#include "ui/host_window.h"
#include "app/window_proc.h"
#include "os/known_folders.h"
#include "ui/asset_table.h"
#include "ui/dispatcher.h"
#include "ui/ui_messages.h"
#include "ui/win32/webview2_doubles.h"

namespace corvane::win32 {
namespace {

HRESULT STDAPICALLTYPE no_runtime(PCWSTR, PCWSTR, ICoreWebView2EnvironmentOptions*,
                                  ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*) {
  return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

// Runs the window thread's queue for `ms` milliseconds.
void pump_for(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(5);
  }
}

test::ComPtr<test::FakeEnvironment> g_environment;
int g_environments_made = 0;

// A runtime that makes a new environment (with a new controller and view) for each creation.
HRESULT STDAPICALLTYPE fake_runtime(PCWSTR, PCWSTR, ICoreWebView2EnvironmentOptions*,
                                    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  ++g_environments_made;
  g_environment = test::ComPtr<test::FakeEnvironment>(new test::FakeEnvironment);
  return handler->Invoke(S_OK, g_environment.get());
}

test::FakeController& controller() { return *g_environment->controller.get(); }

struct Delivered {
  WindowMessage message;
  std::uintptr_t wparam;
  std::wstring text;  // "<none>" without a text
};

class Win32HostTest : public ::testing::Test {
 protected:
  HostHandlers handlers() {
    return {[this](WindowMessage message, std::uintptr_t wparam, std::unique_ptr<std::wstring> text) {
              delivered.push_back({message, wparam, text ? *text : L"<none>"});
              return on_message ? on_message(message, wparam) : true;
            },
            [this](const ViewResult& result) { views.push_back(result.status); }, nullptr,
            [this](std::uint32_t dpi, const ScreenRect& work_area) {
              placements_asked.push_back({dpi, work_area});
              return ScreenRect{0, 0, static_cast<std::int32_t>(dpi) * 5, static_cast<std::int32_t>(dpi) * 4};
            },
            nullptr,
            [this] { return !busy; }};
  }
  std::vector<std::pair<std::uint32_t, ScreenRect>> placements_asked;
  std::vector<ViewStatus> views;
  std::vector<Delivered> delivered;
  bool busy = false;
  std::function<bool(WindowMessage, std::uintptr_t)> on_message;
};

TEST_F(Win32HostTest, ABorderlessWindowAtItsPlacementThatLeavesClosingToTheSetup) {
  Win32UiHost host(GetModuleHandleW(nullptr), SW_SHOWNORMAL, handlers(), &no_runtime);
  ASSERT_TRUE(host.create_window({100, 50, 900, 650}));
  HWND window = host.window();
  ASSERT_NE(window, nullptr);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  EXPECT_STREQ(name, L"CorvaneSetup");
  EXPECT_EQ(GetClassLongPtrW(window, GCL_STYLE) & CS_DROPSHADOW, static_cast<ULONG_PTR>(CS_DROPSHADOW));
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) & ~(WS_VISIBLE | WS_CLIPSIBLINGS),
            static_cast<DWORD>(WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX));
  host.set_cloaked(true);
  host.show_window();
  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(std::vector<LONG>({r.left, r.top, r.right, r.bottom}), std::vector<LONG>({100, 50, 900, 650}));

  // A close from the system reaches the portable side, which here refuses it.
  on_message = [](WindowMessage, std::uintptr_t) { return true; };
  SendMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].message, kWindowClose);
  EXPECT_TRUE(IsWindow(window));

  // Destroyed by the setup: the portable side hears of it, and nothing can be posted any more.
  host.destroy_window();
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(delivered[1].message, kWindowDestroy);
  EXPECT_EQ(host.window(), nullptr);
  EXPECT_FALSE(host.post_message(WM_UI_MESSAGE, std::make_unique<std::wstring>(L"{}")));
}

TEST_F(Win32HostTest, PostsFromAnyThreadArriveInOrderAndTimersTick) {
  Win32UiHost host(GetModuleHandleW(nullptr), SW_SHOWNORMAL, handlers(), &no_runtime);
  ASSERT_TRUE(host.create_window({0, 0, 300, 200}));
  constexpr int kPerThread = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&host, t] {
      for (int i = 0; i < kPerThread; ++i) {
        EXPECT_TRUE(host.post_message(WM_UI_MESSAGE, std::make_unique<std::wstring>(std::to_wstring(t) + L":" +
                                                                                     std::to_wstring(i))));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(host.post_message(WM_WORKER_DONE, nullptr));
  host.set_timer(REVEAL_TIMER_ID, 20);
  int ticks = 0;
  on_message = [&](WindowMessage message, std::uintptr_t wparam) {
    if (message == kWindowTimer && wparam == REVEAL_TIMER_ID && ++ticks == 2) {
      host.kill_timer(REVEAL_TIMER_ID);
      host.quit_message_loop();
    }
    return true;
  };
  host.run_message_loop();

  std::map<int, int> next;  // per thread, the next number expected
  int texts = 0;
  bool worker_done = false;
  for (const Delivered& d : delivered) {
    if (d.message == WM_UI_MESSAGE) {
      const int t = std::stoi(d.text.substr(0, 1));
      EXPECT_EQ(std::stoi(d.text.substr(2)), next[t]++);
      ++texts;
    } else if (d.message == WM_WORKER_DONE) {
      EXPECT_EQ(texts, 2 * kPerThread);  // posted after all texts, delivered after them
      EXPECT_EQ(d.text, L"<none>");
      worker_done = true;
    }
  }
  EXPECT_EQ(texts, 2 * kPerThread);
  EXPECT_TRUE(worker_done);
  EXPECT_EQ(ticks, 2);
}

TEST_F(Win32HostTest, AViewWithoutARuntimeIsReportedAsNotCreated) {
  Win32UiHost host(GetModuleHandleW(nullptr), SW_SHOWNORMAL, handlers(), &no_runtime);
  host.create_view(1.0);  // no window yet
  ASSERT_TRUE(host.create_window({0, 0, 300, 200}));
  host.create_view(1.0);
  EXPECT_EQ(views, (std::vector<ViewStatus>{ViewStatus::Failed, ViewStatus::RuntimeMissing}));
  host.post_json_to_page(L"{}");  // without a view: nothing happens
}

TEST(ViewUserDataFolder, IsTheUsersOwnAbsoluteFolderNotTheTemporaryOne) {
  const std::wstring local = os::known_folder_path(os::KnownFolder::LocalAppData);
  ASSERT_FALSE(local.empty());
  const ViewDataFolder folder = view_user_data_folder();  // this process runs as the desktop's user
  EXPECT_EQ(folder.path, local + L"\\Corvane-Setup");
  EXPECT_FALSE(folder.shared);
  EXPECT_FALSE(PathIsRelativeW(folder.path.c_str()));
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  EXPECT_NE(folder.path.rfind(temp, 0), 0u) << "inside the temporary folder";
}

TEST(ViewUserDataFolder, AnotherAccountThanTheDesktopsGetsAFolderForBoth) {
  const std::wstring me = process_user_sid();
  ASSERT_FALSE(me.empty());
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring common = std::wstring(temp) + L"corvane-common-" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(common.c_str(), nullptr));

  // The desktop's user, or one that cannot be told: the user's own folder.
  for (const std::wstring& desktop : {me, std::wstring()}) {
    const ViewDataFolder own = choose_view_data_folder(me, desktop, L"C:\\users\\me\\AppData\\Local", common);
    EXPECT_EQ(own.path, L"C:\\users\\me\\AppData\\Local\\Corvane-Setup");
    EXPECT_FALSE(own.shared);
  }
  // Another desktop user: a folder under the common one, made once and then found again.
  const std::wstring other = L"S-1-5-21-1-2-3-1001";
  for (int run = 0; run < 2; ++run) {
    const ViewDataFolder shared = choose_view_data_folder(me, other, L"C:\\users\\admin", common);
    EXPECT_EQ(shared.path, common + L"\\Corvane-Setup\\" + other);
    EXPECT_TRUE(shared.shared);
    EXPECT_NE(GetFileAttributesW(shared.path.c_str()), INVALID_FILE_ATTRIBUTES);
  }
  // Its access, as the system reads it: exactly the two accounts, the system and the
  // administrators, nothing inherited.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(shared_folder_access({me, other}).c_str(),
                                                                   SDDL_REVISION_1, &descriptor, nullptr));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present && dacl);
  std::vector<std::wstring> allowed;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE), OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(ace->Mask, static_cast<DWORD>(FILE_ALL_ACCESS));
    LPWSTR text = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(reinterpret_cast<PSID>(&ace->SidStart), &text));
    allowed.emplace_back(text);
    LocalFree(text);
  }
  LocalFree(descriptor);
  EXPECT_EQ(allowed, (std::vector<std::wstring>{L"S-1-5-18", L"S-1-5-32-544", me, other}));

  RemoveDirectoryW((common + L"\\Corvane-Setup\\" + other).c_str());
  RemoveDirectoryW((common + L"\\Corvane-Setup").c_str());
  RemoveDirectoryW(common.c_str());
}

TEST_F(Win32HostTest, TheViewFollowsTheWindow) {
  g_environments_made = 0;
  Win32UiHost host(GetModuleHandleW(nullptr), SW_SHOWNORMAL, handlers(), &fake_runtime);
  ASSERT_TRUE(host.create_window({100, 100, 500, 400}));
  HWND window = host.window();
  host.show_window();
  host.create_view(1.0);
  ASSERT_EQ(views, std::vector<ViewStatus>{ViewStatus::Created});

  // Moved: the view hears of it, so that its pop-ups and the input method follow.
  const int notices = controller().position_notices;
  SetWindowPos(window, nullptr, 160, 130, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_GT(controller().position_notices, notices);

  // Another monitor's DPI: asked the size it wants, the window answers the page's size on the
  // monitor it is moving to; the rectangle the system then suggests is taken as it is.
  SIZE wanted{800, 600};
  EXPECT_EQ(SendMessageW(window, WM_GETDPISCALEDSIZE, 192, reinterpret_cast<LPARAM>(&wanted)), TRUE);
  EXPECT_EQ(std::pair(wanted.cx, wanted.cy), std::pair(960L, 768L));
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);  // the one monitor of the virtual display
  ASSERT_EQ(placements_asked.size(), 1u);
  EXPECT_EQ(placements_asked[0].first, 192u);
  const ScreenRect& area = placements_asked[0].second;
  EXPECT_EQ(std::vector<LONG>({area.left, area.top, area.right, area.bottom}),
            std::vector<LONG>({work.left, work.top, work.right, work.bottom}));
  RECT suggested{150, 120, 1110, 888};
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(std::vector<LONG>({r.left, r.top, r.right, r.bottom}), std::vector<LONG>({150, 120, 1110, 888}));
  ASSERT_FALSE(controller().bounds.empty());
  EXPECT_EQ(controller().bounds.back().right - controller().bounds.back().left, 960);
  EXPECT_EQ(controller().bounds.back().bottom - controller().bounds.back().top, 768);

  // Minimised, the view is hidden; restored, shown again.
  ShowWindow(window, SW_MINIMIZE);
  EXPECT_EQ(controller().visibility, std::vector<BOOL>{FALSE});
  ShowWindow(window, SW_RESTORE);
  EXPECT_EQ(controller().visibility, (std::vector<BOOL>{FALSE, TRUE}));

  // Activated again (by the task bar, Alt+Tab), or given the focus back: the page takes the
  // keyboard.
  const std::size_t moves = controller().focus_moves.size();
  SendMessageW(window, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
  EXPECT_EQ(controller().focus_moves.size(), moves + 1);
  SendMessageW(window, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0);
  EXPECT_EQ(controller().focus_moves.size(), moves + 1);
  SendMessageW(window, WM_SETFOCUS, 0, 0);
  EXPECT_EQ(controller().focus_moves.size(), moves + 2);
  EXPECT_EQ(controller().focus_moves.back(), COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);

  // A logoff is held up exactly while the portable side says so.
  busy = true;
  EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
  busy = false;
  EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);

  // The session ends: the portable side hears whether it really does.
  SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_EQ(delivered.back().message, kWindowEndSession);
  EXPECT_EQ(delivered.back().wparam, 1u);

  // The view's processes failed, or the page answered a ping: the host says so after the
  // runtime's event has returned, each as what it means for the page.
  test::FakeView& view = *controller().view.get();
  ASSERT_TRUE(view.process_failed_handler);
  const std::pair<COREWEBVIEW2_PROCESS_FAILED_KIND, WindowMessage> failures[] = {
      {COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE, WM_VIEW_UNRESPONSIVE},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED, WM_VIEW_RENDERER_EXITED},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED, WM_VIEW_FAILED},
  };
  for (const auto& [kind, message] : failures) {
    const std::size_t before = delivered.size();
    test::ComPtr<test::FakeProcessFailedArgs> args(new test::FakeProcessFailedArgs(kind));
    view.process_failed_handler->Invoke(&view, args.get());
    EXPECT_EQ(delivered.size(), before);  // not inside the event
    pump_for(50);
    ASSERT_EQ(delivered.size(), before + 1);
    EXPECT_EQ(delivered.back().message, message);
  }
  host.ping_view();
  ASSERT_TRUE(view.script_done);
  view.script_done->Invoke(S_OK, L"0");
  pump_for(50);
  EXPECT_EQ(delivered.back().message, WM_VIEW_ANSWERED);
  host.destroy_window();
}

// The setup's own wiring (as wWinMain makes it): the page's "ready" reaches the real dispatcher,
// whose "init" comes back to the view as JSON; "show" reveals the window and gives the page the
// keyboard; a view whose processes died is made anew and its page shown the run again; a move to
// a 200 % monitor fits the page to it.
TEST(Win32HostWithTheSetup, APageMessageReachesTheDispatcherAndItsAnswerTheView) {
  reset_app_state();
  g_environments_made = 0;
  HostHandlers handlers{
      [](WindowMessage message, std::uintptr_t wparam, std::unique_ptr<std::wstring> text) {
        return window_proc(message, wparam, std::move(text));
      },
      [](const ViewResult& result) { on_view_created(result); },
      [](std::wstring_view command) { dispatch_command(command); },
      &placement_on_monitor,
      &view_zoom_for,
      &session_may_end,
  };
  Win32UiHost host(GetModuleHandleW(nullptr), SW_SHOWNORMAL, std::move(handlers), &fake_runtime);
  AppState& s = app_state();
  s.host = &host;
  s.mode = RunMode::Uninstall;
  s.install_dir = L"D:\\Games\\Corvane";
  ASSERT_TRUE(host.create_window({0, 0, 400, 300}));
  s.window = true;
  set_cloaked(true);
  host.show_window();
  host.create_view(1.0);
  EXPECT_TRUE(s.webview);
  auto say = [](const wchar_t* command) {
    test::FakeView& view = *controller().view.get();
    test::ComPtr<test::FakeMessageArgs> args(
        new test::FakeMessageArgs(std::wstring(kVirtualOrigin) + L"index.html", command));
    EXPECT_EQ(view.message_handler->Invoke(&view, args.get()), S_OK);
  };
  ASSERT_TRUE(controller().view->message_handler);
  say(L"ready");
  EXPECT_EQ(controller().view->posted_json,
            std::vector<std::wstring>{LR"({"type":"init","version":"1.0","mode":"uninstall","dir":"D:\\Games\\Corvane"})"});
  const std::size_t moves = controller().focus_moves.size();
  say(L"show");
  EXPECT_EQ(controller().focus_moves.size(), moves + 1);

  // An uninstall that ended while the page was there; then the renderer dies: the page is
  // loaded again in the same view, and once it asks, it is shown how the run ended.
  s.run.started = true;
  s.run.result = uninstalled_message();
  const auto fail = [](COREWEBVIEW2_PROCESS_FAILED_KIND kind) {
    test::ComPtr<test::FakeProcessFailedArgs> args(new test::FakeProcessFailedArgs(kind));
    controller().view->process_failed_handler->Invoke(controller().view.get(), args.get());
    pump_for(100);
  };
  const std::vector<std::wstring> resumed{
      LR"({"type":"init","version":"1.0","mode":"uninstall","dir":"D:\\Games\\Corvane"})",
      LR"({"type":"resume","running":false,"removeResources":true})", LR"({"type":"uninstalled"})"};
  fail(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED);
  EXPECT_EQ(controller().view->reloads, 1);
  EXPECT_EQ(controller().closes, 0);
  EXPECT_EQ(g_environments_made, 1);
  controller().view->posted_json.clear();
  say(L"ready");
  EXPECT_EQ(controller().view->posted_json, resumed);

  // Over a minute later the browser process dies: the view is made anew, in a new environment on
  // the same folder, once the old browser process has exited.
  s.view = ViewLifecycle();
  s.view.created();
  auto old = test::ComPtr<test::FakeEnvironment>::share(g_environment.get());
  fail(COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED);
  EXPECT_EQ(old->controller->closes, 1);
  EXPECT_EQ(g_environments_made, 1);
  old->browser_exits();
  EXPECT_EQ(g_environments_made, 2);
  EXPECT_TRUE(s.webview);
  say(L"ready");
  EXPECT_EQ(controller().view->posted_json, resumed);

  // A 200 % monitor with 125 % text: the window takes the page's size there as the system
  // suggests it, and the page fills it at the zoom that the runtime's scale of 2.5 leaves.
  controller().rasterization_scale = 2.5;
  SIZE wanted{};
  SendMessageW(host.window(), WM_GETDPISCALEDSIZE, 192, reinterpret_cast<LPARAM>(&wanted));
  RECT suggested{100, 100, 100 + wanted.cx, 100 + wanted.cy};
  SendMessageW(host.window(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
  controller().change_scale(2.5);
  RECT placed{};
  GetWindowRect(host.window(), &placed);
  EXPECT_EQ(std::vector<LONG>({placed.left, placed.top, placed.right, placed.bottom}),
            std::vector<LONG>({suggested.left, suggested.top, suggested.right, suggested.bottom}));
  RECT client{};
  GetClientRect(host.window(), &client);
  ASSERT_FALSE(controller().zooms.empty());
  EXPECT_DOUBLE_EQ(controller().zooms.back(), s.zoom);
  EXPECT_NEAR(client.right / (2.5 * s.zoom), 675, 0.5);
  EXPECT_NEAR(client.bottom / (2.5 * s.zoom), 534, 0.5);
  EXPECT_EQ(controller().bounds.back().right, client.right);

  host.destroy_window();
  EXPECT_FALSE(s.webview);
  s.host = nullptr;
  g_environment.reset();
  reset_app_state();
}

}  // namespace
}  // namespace corvane::win32
