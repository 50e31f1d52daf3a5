#pragma once
// Starting, watching and ending other programs from the Windows tests: the test helper
// (process_helper_win32.cpp) and the engine's command line.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "os/fs.h"
#include "os/win32/command_line_win32.h"
#include "support/temp_dir.h"

namespace corvane::test {

// The helper's exit code when its window closed on WM_CLOSE (TerminateProcess gives 0).
inline constexpr std::uint32_t kHelperClosedExitCode = 7;

// A child process that is terminated and released when the object goes, whatever the test did.
// It inherits no handle.
class ChildProcess {
 public:
  // Starts `program` with `args`; pid() is 0 when that failed.
  ChildProcess(const std::wstring& program, const std::vector<std::wstring>& args) {
    const auto line = os::win32::build_command_line(program, args);
    if (!line) return;
    std::wstring command = *line;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info_)) {
      info_ = {};
    }
  }
  ~ChildProcess() {
    if (info_.hProcess == nullptr) return;
    if (running()) {
      TerminateProcess(info_.hProcess, 1);
      WaitForSingleObject(info_.hProcess, 10000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  std::uint32_t pid() const { return info_.dwProcessId; }

  // Waits up to `timeout` for the process to end; true with its exit code then.
  bool ended(std::chrono::milliseconds timeout, std::uint32_t& exit_code) {
    if (info_.hProcess == nullptr) return false;
    if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    if (!GetExitCodeProcess(info_.hProcess, &code)) return false;
    exit_code = code;
    return true;
  }

  bool running() { return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

 private:
  PROCESS_INFORMATION info_{};
};

// Waits until something is at `path`; false after `timeout`.
inline bool wait_for_file(const std::wstring& path, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!os::file_info(path)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Runs `program` with `args` and its standard output and error going into one pipe, and collects
// what arrives there until the program ends. False when it could not start or did not end within
// `timeout` (it is terminated then).
inline bool run_with_output_pipe(const std::wstring& program, const std::vector<std::wstring>& args,
                                 std::chrono::milliseconds timeout, std::uint32_t& exit_code, std::string& output) {
  output.clear();
  const auto line = os::win32::build_command_line(program, args);
  if (!line) return false;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return false;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  std::wstring command = *line;
  PROCESS_INFORMATION info{};
  // Only the pipe's write end is inheritable here.
  const BOOL started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                      &startup, &info);
  CloseHandle(write_end);
  if (!started) {
    CloseHandle(read_end);
    return false;
  }
  std::thread reader([&] {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
  });
  bool ok = WaitForSingleObject(info.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
  if (!ok) TerminateProcess(info.hProcess, 1);
  WaitForSingleObject(info.hProcess, 10000);
  reader.join();  // the pipe ends when the program (and every copy of the write end) is gone
  DWORD code = 0;
  ok = ok && GetExitCodeProcess(info.hProcess, &code);
  exit_code = code;
  CloseHandle(read_end);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return ok;
}

#ifdef CORVANE_TEST_HELPER
inline std::wstring helper_program() { return build_tree_path(CORVANE_TEST_HELPER); }
#endif
#ifdef CORVANE_TEST_MODULE
// The library the helper loads: a copy of it stands in for a client DLL.
inline std::wstring test_module() { return build_tree_path(CORVANE_TEST_MODULE); }
#endif

}  // namespace corvane::test
