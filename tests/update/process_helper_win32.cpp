// A small Windows program the update tests start as another process.
//   hold MODULE READY [ignore-close]  loads the library MODULE, opens a top-level window, creates
//                                     READY, and runs until its window closes (exit code 7); with
//                                     ignore-close it ignores WM_CLOSE and only ends when terminated
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

constexpr int kClosedExitCode = 7;  // helper_process_win32.h checks for it
bool g_ignore_close = false;

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      if (!g_ignore_close) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(kClosedExitCode);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

int hold(const wchar_t* module, const wchar_t* ready) {
  if (LoadLibraryW(module) == nullptr) return 3;
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = window_proc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"CorvaneTestHolder";
  if (RegisterClassW(&window_class) == 0) return 4;
  if (CreateWindowExW(0, window_class.lpszClassName, L"holder", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                      window_class.hInstance, nullptr) == nullptr) {
    return 5;
  }
  const HANDLE file = CreateFileW(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 6;
  CloseHandle(file);
  MSG message;
  BOOL got;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return got == 0 ? static_cast<int>(message.wParam) : 8;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 4 && std::wcscmp(argv[1], L"hold") == 0) {
    g_ignore_close = argc >= 5 && std::wcscmp(argv[4], L"ignore-close") == 0;
    return hold(argv[2], argv[3]);
  }
  std::fputws(L"usage: hold MODULE READY [ignore-close]\n", stderr);
  return 2;
}
