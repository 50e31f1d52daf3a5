#pragma once
// For the Windows tests: whether they run under Wine, for the few checks of a property that Wine
// does not have (each says so where it is skipped).
#include <windows.h>

namespace corvane::test {

inline bool running_under_wine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace corvane::test
