// A stand-in for a WebView2 runtime's client library, built as
// EBWebView\x64\EmbeddedBrowserWebView.dll of runtime folders that the loader tests make. Its
// creation entry hands back an environment whose browser version string tells which copy of the
// library was loaded and what it was given: "<library path>|<runtime kind>|<user data folder>|
// <check for a running browser: 0 or 1>". Built without the entry (CORVANE_FAKE_RUNTIME_BROKEN),
// it is a runtime that cannot be used.
#include <string>

#include "ui/win32/com_double.h"
#include "webview2_stubs.h"

namespace {

HMODULE g_module = nullptr;

class FakeRuntimeEnvironment final : public corvane::test::ComDouble<corvane::test::ICoreWebView2EnvironmentStub> {
 public:
  explicit FakeRuntimeEnvironment(std::wstring description)
      : ComDouble({IID_ICoreWebView2Environment}), description_(std::move(description)) {}
  HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* out) override {
    return corvane::test::co_task_copy(description_, out);
  }

 private:
  std::wstring description_;
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

#ifndef CORVANE_FAKE_RUNTIME_BROKEN
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    bool check_running_instance, int runtime_kind, PCWSTR user_data_folder, IUnknown*,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  if (!handler) return E_POINTER;
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(g_module, path, MAX_PATH);
  std::wstring description = path;
  description += L"|" + std::to_wstring(runtime_kind) + L"|" + (user_data_folder ? user_data_folder : L"") + L"|" +
                 (check_running_instance ? L"1" : L"0");
  auto* environment = new FakeRuntimeEnvironment(description);
  const HRESULT result = handler->Invoke(S_OK, environment);
  environment->Release();
  return result;
}
#else
extern "C" __declspec(dllexport) int corvane_fake_runtime_without_entry() { return 0; }
#endif
