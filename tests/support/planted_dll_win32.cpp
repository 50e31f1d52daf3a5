// A DLL that a site could drop into a Downloads folder under the name of a system library
// (dwmapi.dll, winhttp.dll, bcrypt.dll): built once per name, it exports that library's functions
// the programs call, each a stub that fails (CORVANE_PLANTED_FAILURE), and when a process loads it,
// it leaves a mark beside itself: a file of its own path + ".loaded". The tests put copies beside
// the programs and look for marks.
#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(instance, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      const std::wstring mark = std::wstring(path, n) + L".loaded";
      const HANDLE h = CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
  }
  return TRUE;
}

// Every export is this stub (the export list of each copy maps the library's names to it): on
// x64 one calling convention serves every signature, and the value is that library's failure.
extern "C" ULONG_PTR planted_stub() { return static_cast<ULONG_PTR>(CORVANE_PLANTED_FAILURE); }
