// A stand-in for dwmapi.dll that Corvane-Setup.exe loads under Wine in the window tests (a native
// override placed beside the program). Wine's own DWM accepts the cloak and does nothing, so this
// one records what the program asked for as properties of the window, which the test reads from
// its own process: "CorvaneTest.Cloak" (0 or 1; absent until first set) and
// "CorvaneTest.Corners" (the corner preference).
#include <windows.h>

namespace {
constexpr DWORD kCloak = 13;          // DWMWA_CLOAK
constexpr DWORD kCloaked = 14;        // DWMWA_CLOAKED
constexpr DWORD kCornerPreference = 33;  // DWMWA_WINDOW_CORNER_PREFERENCE
}  // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI DwmSetWindowAttribute(HWND window, DWORD attribute, LPCVOID value,
                                                                     DWORD size) {
  if (!IsWindow(window) || !value || size != sizeof(DWORD)) return E_INVALIDARG;
  const DWORD v = *static_cast<const DWORD*>(value);
  if (attribute == kCloak) {
    SetPropW(window, L"CorvaneTest.Cloak", reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(v ? 2 : 1)));
  } else if (attribute == kCornerPreference) {
    SetPropW(window, L"CorvaneTest.Corners", reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(v + 1)));
  }
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DwmGetWindowAttribute(HWND window, DWORD attribute, PVOID value,
                                                                     DWORD size) {
  if (!IsWindow(window) || !value) return E_INVALIDARG;
  if (attribute != kCloaked || size != sizeof(DWORD)) return E_NOTIMPL;
  *static_cast<DWORD*>(value) = reinterpret_cast<ULONG_PTR>(GetPropW(window, L"CorvaneTest.Cloak")) == 2 ? 1 : 0;
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DwmIsCompositionEnabled(BOOL* enabled) {
  if (!enabled) return E_INVALIDARG;
  *enabled = TRUE;
  return S_OK;
}
