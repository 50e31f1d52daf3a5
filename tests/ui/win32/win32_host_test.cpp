// The Win32 window host under Wine with a display: the window it makes, posts from several threads
// delivered in order on the window thread, timers, a close from the system handed to the portable
// side, destruction, and a view that cannot be created.
#include "ui/win32/win32_ui_host.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "app/window_proc.h"
#include "ui/asset_table.h"
#include "ui/dispatcher.h"
#include "ui/win32/webview2_doubles.h"

namespace corvane::win32 {
namespace {

HRESULT STDAPICALLTYPE no_runtime(PCWSTR, PCWSTR, ICoreWebView2EnvironmentOptions*,
                                  ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*) {
  return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

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
            [this](bool created) { views.push_back(created); }, nullptr};
  }
  std::vector<Delivered> delivered;
  std::vector<bool> views;
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
  EXPECT_EQ(views, (std::vector<bool>{false, false}));
  host.post_json_to_page(L"{}");  // without a view: nothing happens
  EXPECT_EQ(view_user_data_folder().substr(view_user_data_folder().size() - 14), L"\\Corvane-Setup");
}

test::ComPtr<test::FakeEnvironment> g_environment;

HRESULT STDAPICALLTYPE fake_runtime(PCWSTR, PCWSTR, ICoreWebView2EnvironmentOptions*,
                                    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  return handler->Invoke(S_OK, g_environment.get());
}

// The setup's own wiring (as wWinMain makes it): the page's "ready" reaches the real dispatcher,
// whose "init" comes back to the view as JSON; "show" reveals the window.
TEST(Win32HostWithTheSetup, APageMessageReachesTheDispatcherAndItsAnswerTheView) {
  reset_app_state();
  g_environment = test::ComPtr<test::FakeEnvironment>(new test::FakeEnvironment);
  HostHandlers handlers{
      [](WindowMessage message, std::uintptr_t wparam, std::unique_ptr<std::wstring> text) {
        return window_proc(message, wparam, std::move(text));
      },
      [](bool created) { on_view_created(created); },
      [](std::wstring_view command) { dispatch_command(command); },
  };
  Win32UiHost host(GetModuleHandleW(nullptr), SW_SHOWNORMAL, std::move(handlers), &fake_runtime);
  AppState& s = app_state();
  s.host = &host;
  s.mode = RunMode::Uninstall;
  s.install_dir = L"D:\\Games\\Corvane";
  ASSERT_TRUE(host.create_window({0, 0, 400, 300}));
  s.window = true;
  host.create_view(1.0);
  EXPECT_TRUE(s.webview);
  test::FakeView& view = *g_environment->controller->view.get();
  ASSERT_TRUE(view.message_handler);

  test::ComPtr<test::FakeMessageArgs> ready(
      new test::FakeMessageArgs(std::wstring(kVirtualOrigin) + L"index.html", L"ready"));
  EXPECT_EQ(view.message_handler->Invoke(&view, ready.get()), S_OK);
  EXPECT_EQ(view.posted_json,
            std::vector<std::wstring>{LR"({"type":"init","version":"1.0","mode":"uninstall","dir":"D:\\Games\\Corvane"})"});

  host.destroy_window();
  EXPECT_FALSE(s.webview);
  s.host = nullptr;
  g_environment.reset();
  reset_app_state();
}

}  // namespace
}  // namespace corvane::win32
