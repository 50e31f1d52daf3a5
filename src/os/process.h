#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Other processes of the system: who they are, what they have loaded, and how to end them
// (Toolhelp snapshots, window messages and TerminateProcess on Windows; /proc and signals on
// Linux).
namespace corvane::os {

using ProcessId = std::uint32_t;

ProcessId current_process_id();

// The ids of all processes the system lists, in its order. False when they cannot be listed.
[[nodiscard]] bool list_process_ids(std::vector<ProcessId>& ids);

// Full path of the program a process runs; empty when it cannot be read (the process has ended,
// is protected, or belongs to someone the caller may not inspect). Linux: /proc/PID/exe.
std::wstring process_image_path(ProcessId pid);

// Full paths of the files a process has loaded: its program and its libraries (on Linux every
// file it has mapped, from /proc/PID/maps), each once. False when they cannot be read.
[[nodiscard]] bool process_modules(ProcessId pid, std::vector<std::wstring>& modules);

// A process the caller may ask to close, end and wait for. The handle keeps meaning the same
// process even when its id is reused after it has ended. Move-only; released when it goes.
class ProcessHandle {
 public:
  ProcessHandle() = default;
  ~ProcessHandle();
  ProcessHandle(ProcessHandle&& other) noexcept;
  ProcessHandle& operator=(ProcessHandle&& other) noexcept;
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;

  // Opens `pid` for waiting and ending; false when it does not exist or may not be touched.
  [[nodiscard]] bool open(ProcessId pid);
  bool is_open() const { return handle_ >= 0; }
  void close();

  // Asks the process to close itself (SIGTERM; WM_CLOSE to its windows on Windows).
  [[nodiscard]] bool ask_to_close();
  // Ends the process at once (SIGKILL; TerminateProcess with exit code 0 on Windows).
  [[nodiscard]] bool terminate();
  // Waits up to `timeout_ms` milliseconds; true when the process has ended.
  [[nodiscard]] bool wait(std::uint32_t timeout_ms);

 private:
  std::intptr_t handle_ = -1;  // a pidfd on Linux, a process HANDLE on Windows
};

}  // namespace corvane::os
