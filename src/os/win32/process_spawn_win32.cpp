#include "os/process_spawn.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "os/win32/command_line_win32.h"
#include "os/win32/win32_common.h"

namespace corvane::os {
namespace {

// CreateProcessW with no inherited handles and no environment block of its own; both returned
// handles are closed at once. False when the program could not be started.
bool create_process(const std::wstring& application, std::wstring command_line, DWORD flags,
                    const wchar_t* working_dir) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  // CreateProcessW may write into the command line, so it gets a buffer of its own.
  if (!::CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                        working_dir, &startup, &started)) {
    return false;
  }
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return true;
}

}  // namespace

std::wstring module_file_path() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    // A result as long as the buffer may have been cut short: try again with twice the room.
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

bool start_process(std::wstring_view program, const std::vector<std::wstring>& args,
                   std::wstring_view working_dir, bool new_console) {
  const auto application = win32::native_path(program);
  const auto folder = win32::native_path(working_dir);
  const auto command_line = win32::build_command_line(program, args);
  if (program.empty() || !application || !folder || !command_line) return false;
  return create_process(*application, *command_line, new_console ? CREATE_NEW_CONSOLE : 0,
                        folder->empty() ? nullptr : folder->c_str());
}

void delete_executable_after_exit(std::wstring_view path) {
  auto target = win32::native_path(path);
  if (path.empty() || !target) return;
  // cmd.exe's del takes a '/' inside the name for the start of a switch and deletes nothing.
  std::replace(target->begin(), target->end(), L'/', L'\\');
  wchar_t system_dir[MAX_PATH] = {};
  const UINT n = ::GetSystemDirectoryW(system_dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  const std::wstring cmd = std::wstring(system_dir, n) + L"\\cmd.exe";
  // Three echo requests to the loopback address take about two seconds, by which time the
  // program has ended and its file can go.
  std::wstring line = L"\"" + cmd + L"\" /c ping 127.0.0.1 -n 3 >nul & del /f /q \"" + *target + L"\"";
  (void)create_process(cmd, std::move(line), CREATE_NO_WINDOW, nullptr);
}

}  // namespace corvane::os
