#include "os/process.h"

#include <windows.h>
#include <tlhelp32.h>

#include <iterator>

namespace corvane::os {
namespace {

// Owns a handle that CloseHandle releases and that is INVALID_HANDLE_VALUE when empty (a
// Toolhelp snapshot).
class Snapshot {
 public:
  explicit Snapshot(HANDLE handle) : handle_(handle) {}
  ~Snapshot() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Snapshot(const Snapshot&) = delete;
  Snapshot& operator=(const Snapshot&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// A module snapshot of another process can fail with ERROR_BAD_LENGTH while that process loads or
// unloads a module; the documented answer is to try again.
HANDLE take_module_snapshot(ProcessId pid) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid);
    if (snapshot != INVALID_HANDLE_VALUE || GetLastError() != ERROR_BAD_LENGTH) return snapshot;
  }
  return INVALID_HANDLE_VALUE;
}

HANDLE handle_of(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

struct CloseRequest {
  DWORD pid = 0;
  bool posted = false;
};

// Posts WM_CLOSE to each top-level window of the process; the enumeration always goes on.
BOOL CALLBACK post_close(HWND window, LPARAM context) {
  auto* request = reinterpret_cast<CloseRequest*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == request->pid && PostMessageW(window, WM_CLOSE, 0, 0)) request->posted = true;
  return TRUE;
}

}  // namespace

ProcessId current_process_id() { return GetCurrentProcessId(); }

bool list_process_ids(std::vector<ProcessId>& ids) {
  ids.clear();
  const Snapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    ids.push_back(entry.th32ProcessID);
  }
  return true;
}

std::wstring process_image_path(ProcessId pid) {
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) return {};
  wchar_t buffer[520];
  DWORD size = static_cast<DWORD>(std::size(buffer));
  const BOOL ok = QueryFullProcessImageNameW(process, 0, buffer, &size);
  CloseHandle(process);
  if (!ok) return {};
  return std::wstring(buffer, size);
}

bool process_modules(ProcessId pid, std::vector<std::wstring>& modules) {
  modules.clear();
  const Snapshot snapshot(take_module_snapshot(pid));
  if (!snapshot.valid()) return false;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32FirstW(snapshot.get(), &entry); more; more = Module32NextW(snapshot.get(), &entry)) {
    modules.emplace_back(entry.szExePath);
  }
  return true;
}

void ProcessHandle::close() {
  if (handle_ >= 0) CloseHandle(handle_of(handle_));
  handle_ = -1;
}

bool ProcessHandle::open(ProcessId pid) {
  close();
  if (pid == 0) return false;
  // Waiting and ending need SYNCHRONIZE and PROCESS_TERMINATE; finding the process's windows
  // needs its id back from the handle (GetProcessId), which the limited query right gives. A
  // process that refuses that right can still be waited for and ended.
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
  if (process == nullptr) return false;
  handle_ = reinterpret_cast<std::intptr_t>(process);
  return true;
}

bool ProcessHandle::ask_to_close() {
  if (handle_ < 0) return false;
  CloseRequest request{GetProcessId(handle_of(handle_)), false};
  if (request.pid == 0) return false;
  EnumWindows(&post_close, reinterpret_cast<LPARAM>(&request));
  return request.posted;
}

bool ProcessHandle::terminate() { return handle_ >= 0 && TerminateProcess(handle_of(handle_), 0) != 0; }

bool ProcessHandle::wait(std::uint32_t timeout_ms) {
  if (handle_ < 0) return false;
  return WaitForSingleObject(handle_of(handle_), timeout_ms) == WAIT_OBJECT_0;
}

}  // namespace corvane::os
