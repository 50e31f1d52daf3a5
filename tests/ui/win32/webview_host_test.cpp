// The WebView2 host against doubles of the SDK's objects: what it sets on the view, the handlers
// it registers and what they do, and every page resource answered from this executable's RCDATA,
// which holds the real built page (src/ui/web/dist).
#include "ui/win32/webview_host.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <tuple>

#include "ui/asset_table.h"
#include "ui/resource_server.h"
#include "ui/win32/webview2_doubles.h"

namespace corvane::test {
namespace {

std::wstring at(std::wstring_view rest) { return std::wstring(kVirtualOrigin) + std::wstring(rest); }

// What the stand-in loader function was given and hands back.
struct LoaderCall {
  int calls = 0;
  bool browser_folder_null = false;
  std::wstring user_data_folder;
  bool options_null = false;
  HRESULT call_result = S_OK;         // the function's own result
  HRESULT environment_result = S_OK;  // given to the completion handler
  ComPtr<FakeEnvironment> environment;
  // Set: the completion handler is kept here and not called (a creation still under way).
  bool defer = false;
  ComPtr<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> pending;
};
LoaderCall g_loader;

HRESULT STDAPICALLTYPE fake_create_environment(PCWSTR browser_folder, PCWSTR user_data_folder,
                                               ICoreWebView2EnvironmentOptions* options,
                                               ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  ++g_loader.calls;
  g_loader.browser_folder_null = browser_folder == nullptr;
  g_loader.user_data_folder = user_data_folder ? user_data_folder : L"<null>";
  g_loader.options_null = options == nullptr;
  if (FAILED(g_loader.call_result)) return g_loader.call_result;
  if (g_loader.defer) {
    g_loader.pending = ComPtr<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>::share(handler);
    return S_OK;
  }
  return handler->Invoke(g_loader.environment_result,
                         SUCCEEDED(g_loader.environment_result) ? g_loader.environment.get() : nullptr);
}

// A message-only window to host the view (no display is needed): the host reads its client
// rectangle.
class TestWindow {
 public:
  TestWindow() {
    window_ = CreateWindowExW(0, L"STATIC", L"host", 0, 0, 0, 640, 480, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  }
  ~TestWindow() {
    if (window_) DestroyWindow(window_);
  }
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

class WebViewHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_loader = LoaderCall{};
    g_loader.environment = ComPtr<FakeEnvironment>(new FakeEnvironment);
    ASSERT_NE(window.get(), nullptr);
  }
  void TearDown() override { g_loader = LoaderCall{}; }

  win32::WebViewEvents events() {
    return {[this](const ViewResult& result) { results.push_back(result); },
            [this](std::wstring_view text) { messages.emplace_back(text); },
            [this](win32::ViewFailure failure) { failures.push_back(failure); }, [this] { ++answers; }};
  }
  // The statuses of the creation results so far, and their error codes.
  std::vector<ViewStatus> statuses() const {
    std::vector<ViewStatus> out;
    for (const ViewResult& r : results) out.push_back(r.status);
    return out;
  }
  std::vector<std::uint32_t> codes() const {
    std::vector<std::uint32_t> out;
    for (const ViewResult& r : results) out.push_back(r.error);
    return out;
  }
  FakeController& controller() { return *g_loader.environment->controller.get(); }
  FakeView& view() { return *controller().view.get(); }

  TestWindow window;
  std::vector<ViewResult> results;
  std::vector<std::wstring> messages;
  std::vector<win32::ViewFailure> failures;
  int answers = 0;
};

// The Content-Security-Policy header line of every answer.
std::wstring policy_header() {
  return L"Content-Security-Policy: " + std::wstring(kContentSecurityPolicy.begin(), kContentSecurityPolicy.end());
}

TEST_F(WebViewHostTest, CreatesTheViewLocksItDownAndNavigatesToTheStartPage) {
  auto owned = std::make_unique<win32::WebViewHost>(&fake_create_environment, events());
  win32::WebViewHost& host = *owned;
  host.create(window.get(), L"C:\\users\\me\\Temp\\Corvane-Setup", 1.2);

  EXPECT_EQ(g_loader.calls, 1);
  EXPECT_TRUE(g_loader.browser_folder_null);
  EXPECT_TRUE(g_loader.options_null);
  EXPECT_EQ(g_loader.user_data_folder, L"C:\\users\\me\\Temp\\Corvane-Setup");
  ASSERT_EQ(g_loader.environment->parents.size(), 1u);
  EXPECT_EQ(g_loader.environment->parents[0], window.get());
  EXPECT_EQ(statuses(), std::vector<ViewStatus>{ViewStatus::Created});
  EXPECT_TRUE(host.exists());

  RECT client{};
  GetClientRect(window.get(), &client);
  ASSERT_EQ(controller().bounds.size(), 1u);
  EXPECT_EQ(controller().bounds[0].right, client.right);
  EXPECT_EQ(controller().bounds[0].bottom, client.bottom);
  EXPECT_EQ(controller().zooms, std::vector<double>{1.2});
  ASSERT_EQ(controller().backgrounds.size(), 1u);
  const COREWEBVIEW2_COLOR c = controller().backgrounds[0];
  EXPECT_EQ(std::vector<int>({c.A, c.R, c.G, c.B}), std::vector<int>({255, 13, 13, 13}));

  // Locked down: no menus, tools, zoom or browser keys, no script dialogs, nothing typed is
  // remembered; scripts and web messages keep their defaults.
  const std::map<std::string, BOOL> expected{{"ContextMenus", FALSE},   {"DevTools", FALSE},
                                             {"StatusBar", FALSE},      {"ZoomControl", FALSE},
                                             {"ScriptDialogs", FALSE},  {"AcceleratorKeys", FALSE},
                                             {"PasswordAutosave", FALSE}, {"GeneralAutofill", FALSE}};
  EXPECT_EQ(view().settings->values, expected);

  // Every request of the view, of any origin, comes to the handler.
  ASSERT_EQ(view().filters.size(), 1u);
  EXPECT_EQ(view().filters[0].first, L"*");
  EXPECT_EQ(view().filters[0].second, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
  EXPECT_TRUE(view().resource_handler && view().message_handler && view().new_window_handler &&
              view().navigation_handler && view().frame_navigation_handler && view().permission_handler &&
              view().download_handler && view().process_failed_handler);
  EXPECT_EQ(view().navigations, std::vector<std::wstring>{at(L"index.html")});

  host.post_json(LR"({"type":"init","version":"1.0"})");
  EXPECT_EQ(view().posted_json, std::vector<std::wstring>{LR"({"type":"init","version":"1.0"})"});

  // Released: the view is closed, no reference of the host is left on the view's objects, and
  // nothing more is posted.
  host.release();
  EXPECT_EQ(controller().closes, 1);
  EXPECT_FALSE(host.exists());
  host.post_json(L"{}");
  EXPECT_EQ(view().posted_json.size(), 1u);
  EXPECT_EQ(controller().references(), 1u);
  // The environment is let go of with the host (until then it tells when its browser has exited).
  owned.reset();
  EXPECT_EQ(g_loader.environment->references(), 1u);
}

TEST_F(WebViewHostTest, PageMessagesReachTheDispatcherOnlyAsTextFromThePageOrigin) {
  win32::WebViewHost host(&fake_create_environment, events());
  host.create(window.get(), L"C:\\t\\Corvane-Setup", 1.0);
  ASSERT_TRUE(view().message_handler);
  auto send = [&](FakeMessageArgs* args) {
    ComPtr<FakeMessageArgs> owned(args);
    return view().message_handler->Invoke(&view(), owned.get());
  };
  EXPECT_EQ(send(new FakeMessageArgs(at(L"index.html"), L"ready")), S_OK);
  EXPECT_EQ(send(new FakeMessageArgs(at(L"index.html#x"), L"install|C:\\Games\\Corvane||1|0")), S_OK);
  EXPECT_EQ(send(new FakeMessageArgs(at(L"index.html"), L"", false)), S_OK);  // not a string
  EXPECT_EQ(send(new FakeMessageArgs(L"https://example.com/", L"close")), S_OK);
  EXPECT_EQ(send(new FakeMessageArgs(L"HTTPS://setup.corvane.invalid/index.html", L"close")), S_OK);
  EXPECT_EQ(messages, (std::vector<std::wstring>{L"ready", L"install|C:\\Games\\Corvane||1|0"}));
}

TEST_F(WebViewHostTest, NewWindowsAndNavigationsAwayFromThePageAreRefused) {
  win32::WebViewHost host(&fake_create_environment, events());
  host.create(window.get(), L"C:\\t\\Corvane-Setup", 1.0);
  ASSERT_TRUE(view().new_window_handler && view().navigation_handler && view().frame_navigation_handler);

  ComPtr<FakeNewWindowArgs> new_window(new FakeNewWindowArgs);
  EXPECT_EQ(view().new_window_handler->Invoke(&view(), new_window.get()), S_OK);
  EXPECT_EQ(new_window->handled, std::vector<BOOL>{TRUE});

  for (auto* handler : {view().navigation_handler.get(), view().frame_navigation_handler.get()}) {
    for (const std::wstring& page : {at(L"index.html"), at(L"index.html?a#b")}) {
      ComPtr<FakeNavigationArgs> args(new FakeNavigationArgs(page));
      EXPECT_EQ(handler->Invoke(&view(), args.get()), S_OK);
      EXPECT_TRUE(args->cancel.empty());
    }
    for (const std::wstring& away : {std::wstring(L"https://example.com/"), std::wstring(L"file:///C:/"),
                                    std::wstring(L"https://setup.corvane.invalid.example.com/")}) {
      ComPtr<FakeNavigationArgs> args(new FakeNavigationArgs(away));
      EXPECT_EQ(handler->Invoke(&view(), args.get()), S_OK);
      EXPECT_EQ(args->cancel, std::vector<BOOL>{TRUE});
    }
  }
}

std::string read_page_file(std::wstring_view path) {
  // The built page as this test sees it under Wine: the Linux root is drive Z:.
  std::string name = std::string("Z:") + CORVANE_PAGE_DIR + "/";
  for (wchar_t c : path) name += static_cast<char>(c);  // the table's paths are ASCII
  std::ifstream in(name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST_F(WebViewHostTest, EveryPageResourceIsAnsweredFromTheExecutablesResources) {
  win32::WebViewHost host(&fake_create_environment, events());
  host.create(window.get(), L"C:\\t\\Corvane-Setup", 1.0);
  ASSERT_TRUE(view().resource_handler);
  auto request = [&](const std::wstring& uri) {
    ComPtr<FakeResourceArgs> args(new FakeResourceArgs(new FakeRequest(uri)));
    EXPECT_EQ(view().resource_handler->Invoke(&view(), args.get()), S_OK);
    EXPECT_EQ(args->responses_set, 1);
    return args;
  };

  for (const AssetEntry& entry : kAssetTable) {
    const std::string expected = read_page_file(entry.path);
    ASSERT_FALSE(expected.empty()) << "no built page file for entry " << entry.resource_name.size();
    auto args = request(at(entry.path));
    FakeResponse* response = args->fake_response();
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->status, 200);
    EXPECT_EQ(response->reason, L"OK");
    EXPECT_EQ(response->headers, L"Content-Type: " + std::wstring(entry.mime_type) + L"\r\n" + policy_header());
    EXPECT_TRUE(response->body() == expected) << "bytes differ for a resource of " << expected.size() << " bytes";
  }

  // Query and fragment are cut; anything not in the table exactly is 404 without content.
  EXPECT_EQ(request(at(L"app.js?v=2"))->fake_response()->status, 200);
  for (const wchar_t* rest : {L"", L"Index.html", L"./app.js", L"images/Logo.svg", L"nothing.txt"}) {
    auto args = request(at(rest));
    FakeResponse* response = args->fake_response();
    EXPECT_EQ(response->status, 404);
    EXPECT_EQ(response->reason, L"Not Found");
    EXPECT_EQ(response->headers, policy_header());
    EXPECT_FALSE(response->content);
  }

  // A request that cannot be read gets no response: the runtime goes on without us.
  ComPtr<FakeResourceArgs> unreadable(new FakeResourceArgs(nullptr));
  EXPECT_EQ(view().resource_handler->Invoke(&view(), unreadable.get()), S_OK);
  EXPECT_EQ(unreadable->responses_set, 0);
}

TEST_F(WebViewHostTest, EveryCreationFailureIsReportedOnceWithItsCause) {
  // The loader finds no runtime.
  g_loader.call_result = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  {
    win32::WebViewHost host(&fake_create_environment, events());
    host.create(window.get(), L"C:\\t", 1.0);
    EXPECT_FALSE(host.exists());
  }
  // The loader finds a runtime that cannot be used.
  g_loader.call_result = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  {
    win32::WebViewHost host(&fake_create_environment, events());
    host.create(window.get(), L"C:\\t", 1.0);
  }
  // The loader finds only another processor's runtime.
  g_loader.call_result = HRESULT_FROM_WIN32(ERROR_EXE_MACHINE_TYPE_MISMATCH);
  {
    win32::WebViewHost host(&fake_create_environment, events());
    host.create(window.get(), L"C:\\t", 1.0);
  }
  // The environment fails, the controller's creation fails, or its completion reports a failure.
  g_loader.call_result = S_OK;
  g_loader.environment_result = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
  {
    win32::WebViewHost host(&fake_create_environment, events());
    host.create(window.get(), L"C:\\t", 1.0);
  }
  g_loader.environment_result = S_OK;
  g_loader.environment->create_call_result = E_ACCESSDENIED;
  {
    win32::WebViewHost host(&fake_create_environment, events());
    host.create(window.get(), L"C:\\t", 1.0);
  }
  g_loader.environment->create_call_result = S_OK;
  g_loader.environment->controller_result = E_UNEXPECTED;
  {
    win32::WebViewHost host(&fake_create_environment, events());
    host.create(window.get(), L"C:\\t", 1.0);
    host.create(window.get(), L"C:\\t", 1.0);  // a second start does nothing
    EXPECT_FALSE(host.exists());
  }
  EXPECT_EQ(statuses(), (std::vector<ViewStatus>{ViewStatus::RuntimeMissing, ViewStatus::Failed,
                                                 ViewStatus::RuntimeWithoutX64, ViewStatus::Failed, ViewStatus::Failed,
                                                 ViewStatus::Failed}));
  EXPECT_EQ(codes(), (std::vector<std::uint32_t>{0x80070002u, 0x8007007Fu, 0x800700D8u, 0x8007139Fu, 0x80070005u,
                                                 0x8000FFFFu}));
  EXPECT_EQ(g_loader.calls, 6);
}

TEST_F(WebViewHostTest, AReleasedViewIsMadeAnewAndTheOldCreationEndsWithoutEffect) {
  win32::WebViewHost host(&fake_create_environment, events());
  g_loader.defer = true;
  host.create(window.get(), L"C:\\t", 1.0);
  auto late = std::move(g_loader.pending);
  ASSERT_TRUE(late);
  host.release();  // e.g. the window closes before the runtime has answered
  EXPECT_EQ(late->Invoke(S_OK, g_loader.environment.get()), S_OK);
  EXPECT_TRUE(results.empty());
  EXPECT_TRUE(g_loader.environment->parents.empty());

  g_loader.defer = false;
  host.create(window.get(), L"C:\\t", 1.2);
  ASSERT_EQ(statuses(), std::vector<ViewStatus>{ViewStatus::Created});
  FakeController* first = &controller();
  host.release();
  EXPECT_EQ(first->closes, 1);
  g_loader.environment->browser_exits();
  host.create(window.get(), L"C:\\t", 0.9);
  EXPECT_EQ(statuses(), (std::vector<ViewStatus>{ViewStatus::Created, ViewStatus::Created}));
  EXPECT_NE(&controller(), first);  // a new controller and view
  EXPECT_EQ(controller().zooms, std::vector<double>{0.9});
  EXPECT_EQ(view().navigations, std::vector<std::wstring>{at(L"index.html")});
  EXPECT_EQ(g_loader.calls, 3);
}

TEST_F(WebViewHostTest, RequestsOutsideThePageOriginAreRefused) {
  win32::WebViewHost host(&fake_create_environment, events());
  host.create(window.get(), L"C:\\t", 1.0);
  ASSERT_TRUE(view().resource_handler);
  for (const wchar_t* uri : {L"https://example.com/app.js", L"http://127.0.0.1:47613/manifest.json",
                             L"HTTPS://SETUP.CORVANE.INVALID/index.html", L"https://setup.corvane.invalid.example.com/",
                             L"http://setup.corvane.invalid/index.html", L"data:,", L"ws://127.0.0.1/", L""}) {
    ComPtr<FakeResourceArgs> args(new FakeResourceArgs(new FakeRequest(uri)));
    EXPECT_EQ(view().resource_handler->Invoke(&view(), args.get()), S_OK);
    FakeResponse* response = args->fake_response();
    ASSERT_NE(response, nullptr) << "no answer for a request of " << std::wstring(uri).size() << " characters";
    EXPECT_EQ(response->status, 403);
    EXPECT_EQ(response->reason, L"Forbidden");
    EXPECT_EQ(response->headers, policy_header());
    EXPECT_FALSE(response->content);
  }
}

TEST_F(WebViewHostTest, PermissionsAndDownloadsAreRefused) {
  win32::WebViewHost host(&fake_create_environment, events());
  host.create(window.get(), L"C:\\t", 1.0);
  ASSERT_TRUE(view().permission_handler && view().download_handler);
  ComPtr<FakePermissionArgs> permission(new FakePermissionArgs);
  EXPECT_EQ(view().permission_handler->Invoke(&view(), permission.get()), S_OK);
  EXPECT_EQ(permission->states, std::vector<COREWEBVIEW2_PERMISSION_STATE>{COREWEBVIEW2_PERMISSION_STATE_DENY});
  ComPtr<FakeDownloadArgs> download(new FakeDownloadArgs);
  EXPECT_EQ(view().download_handler->Invoke(&view(), download.get()), S_OK);
  EXPECT_EQ(download->cancel, std::vector<BOOL>{TRUE});
  EXPECT_EQ(download->handled, std::vector<BOOL>{TRUE});  // and no download bar
}

TEST_F(WebViewHostTest, AnOldRuntimeGetsWhatItOffers) {
  // Only the first interfaces of view and settings: the view still comes up, locked down as far
  // as they reach.
  g_loader.environment->controller = ComPtr<FakeController>(new FakeController(false));
  win32::WebViewHost host(&fake_create_environment, events());
  host.create(window.get(), L"C:\\t", 1.0);
  EXPECT_EQ(statuses(), std::vector<ViewStatus>{ViewStatus::Created});
  const std::map<std::string, BOOL> expected{{"ContextMenus", FALSE}, {"DevTools", FALSE}, {"StatusBar", FALSE},
                                             {"ZoomControl", FALSE}, {"ScriptDialogs", FALSE}};
  EXPECT_EQ(view().settings->values, expected);
  EXPECT_FALSE(view().download_handler);
  EXPECT_TRUE(view().permission_handler && view().process_failed_handler);
  EXPECT_EQ(view().navigations, std::vector<std::wstring>{at(L"index.html")});
}

TEST_F(WebViewHostTest, ProcessFailuresAreReportedByWhatTheyMeanForThePage) {
  win32::WebViewHost host(&fake_create_environment, events());
  host.create(window.get(), L"C:\\t", 1.0);
  ASSERT_TRUE(view().process_failed_handler);
  using win32::ViewFailure;
  // The helper processes come back by themselves; the three that matter are told apart.
  const std::pair<COREWEBVIEW2_PROCESS_FAILED_KIND, std::vector<ViewFailure>> cases[] = {
      {COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED, {}},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_FRAME_RENDER_PROCESS_EXITED, {}},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_UTILITY_PROCESS_EXITED, {}},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED, {ViewFailure::RendererExited}},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE, {ViewFailure::Unresponsive}},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED, {ViewFailure::ViewGone}},
  };
  for (const auto& [kind, expected] : cases) {
    failures.clear();
    ComPtr<FakeProcessFailedArgs> args(new FakeProcessFailedArgs(kind));
    EXPECT_EQ(view().process_failed_handler->Invoke(&view(), args.get()), S_OK);
    EXPECT_EQ(failures, expected) << "kind " << static_cast<int>(kind);
  }
}

TEST_F(WebViewHostTest, AViewMadeAnewWaitsUntilTheOldBrowserProcessHasExited) {
  struct Case {
    bool runtime_tells_exit;  // ICoreWebView2Environment5
    bool exited_before_release;
    bool waits;
  };
  for (const Case c : {Case{true, false, true}, Case{true, true, false}, Case{false, false, false}}) {
    SCOPED_TRACE(c.runtime_tells_exit * 2 + c.exited_before_release);
    results.clear();
    g_loader = LoaderCall{};
    ComPtr<FakeEnvironment> old(new FakeEnvironment(c.runtime_tells_exit));
    g_loader.environment = ComPtr<FakeEnvironment>::share(old.get());
    {
      win32::WebViewHost host(&fake_create_environment, events());
      host.create(window.get(), L"C:\\u\\Corvane-Setup", 1.0);
      EXPECT_EQ(static_cast<bool>(old->exit_handler), c.runtime_tells_exit);
      if (c.exited_before_release) old->browser_exits();
      host.release();
      g_loader.environment = ComPtr<FakeEnvironment>(new FakeEnvironment);
      host.create(window.get(), L"C:\\u\\Corvane-Setup", 1.0);
      EXPECT_EQ(g_loader.calls, c.waits ? 1 : 2);
      if (c.waits) {
        EXPECT_EQ(statuses(), std::vector<ViewStatus>{ViewStatus::Created});
        old->browser_exits();
        EXPECT_EQ(g_loader.calls, 2);
        old->browser_exits();  // raised again: nothing more
      }
      EXPECT_EQ(g_loader.calls, 2);
      EXPECT_EQ(g_loader.user_data_folder, L"C:\\u\\Corvane-Setup");  // the same folder
      EXPECT_EQ(statuses(), (std::vector<ViewStatus>{ViewStatus::Created, ViewStatus::Created}));
      EXPECT_TRUE(host.exists());
    }
    // Gone, the host leaves no handler behind that could call into it.
    EXPECT_FALSE(old->exit_handler);
    EXPECT_FALSE(g_loader.environment->exit_handler);
  }
}

TEST_F(WebViewHostTest, APageIsReloadedInItsViewAndOnlyALiveViewAnswersAPing) {
  win32::WebViewHost host(&fake_create_environment, events());
  EXPECT_FALSE(host.reload());
  host.create(window.get(), L"C:\\t", 1.0);
  EXPECT_TRUE(host.reload());
  EXPECT_EQ(view().reloads, 1);
  EXPECT_EQ(g_loader.calls, 1);  // the same view, no new environment

  // Only a script that ran is an answer: a failed one, or one of a released view, is not.
  for (const HRESULT result : {E_FAIL, S_OK}) {
    host.ping();
    ASSERT_TRUE(view().script_done);
    view().script_done->Invoke(result, L"0");
  }
  EXPECT_EQ(view().scripts, (std::vector<std::wstring>{L"0", L"0"}));
  EXPECT_EQ(answers, 1);
  host.ping();
  auto late = std::move(view().script_done);
  host.release();
  late->Invoke(S_OK, L"0");
  EXPECT_EQ(answers, 1);
  EXPECT_FALSE(host.reload());
}

TEST_F(WebViewHostTest, ThePageZoomFollowsTheViewSizeAndTheRasterizationScale) {
  std::vector<std::tuple<int, int, double>> asked;
  win32::WebViewEvents with_zoom = events();
  with_zoom.zoom_for = [&](std::int32_t width, std::int32_t height, double scale) {
    asked.emplace_back(width, height, scale);
    return width / (1000 * scale);
  };
  RECT client{};
  GetClientRect(window.get(), &client);
  ASSERT_GT(client.right, 0);
  const double width = client.right;

  // 150 % monitor with 125 % text: the runtime says 1.875.
  controller().rasterization_scale = 1.875;
  win32::WebViewHost host(&fake_create_environment, with_zoom);
  host.create(window.get(), L"C:\\t", 1.2);
  ASSERT_EQ(controller().zooms.size(), 1u);
  EXPECT_DOUBLE_EQ(controller().zooms[0], width / 1875);
  EXPECT_EQ(asked.back(), std::make_tuple(client.right, client.bottom, 1.875));
  // The text size changes: the runtime raises its event, and the page is fitted again.
  controller().change_scale(1.5);
  EXPECT_EQ(controller().zooms, (std::vector<double>{width / 1875, width / 1500}));
  host.resize();  // the same size and scale: no new zoom
  EXPECT_EQ(controller().zooms.size(), 2u);

  // A runtime without the scale: the window's DPI stands for it.
  g_loader.environment = ComPtr<FakeEnvironment>(new FakeEnvironment);
  g_loader.environment->controller = ComPtr<FakeController>(new FakeController(false));
  win32::WebViewHost old_runtime(&fake_create_environment, with_zoom);
  old_runtime.create(window.get(), L"C:\\t", 1.0);
  EXPECT_DOUBLE_EQ(std::get<2>(asked.back()), GetDpiForWindow(window.get()) / 96.0);
}

TEST_F(WebViewHostTest, FocusMovesVisibilityAndZoomReachTheController) {
  win32::WebViewHost host(&fake_create_environment, events());
  host.focus();  // no view yet: nothing happens
  host.notify_moved();
  host.set_zoom(1.1);
  host.create(window.get(), L"C:\\t", 1.0);
  EXPECT_EQ(controller().zooms, std::vector<double>{1.0});  // the zoom given last counts
  host.focus();
  EXPECT_EQ(controller().focus_moves,
            std::vector<COREWEBVIEW2_MOVE_FOCUS_REASON>{COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC});
  host.notify_moved();
  host.notify_moved();
  EXPECT_EQ(controller().position_notices, 2);
  host.set_visible(true);  // already visible: no call
  host.set_visible(false);
  host.set_visible(false);
  host.set_visible(true);
  EXPECT_EQ(controller().visibility, (std::vector<BOOL>{FALSE, TRUE}));
  host.set_zoom(0.8);
  EXPECT_EQ(controller().zooms, (std::vector<double>{1.0, 0.8}));
}

}  // namespace
}  // namespace corvane::test
