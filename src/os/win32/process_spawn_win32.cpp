#include "os/process_spawn.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "os/fs.h"

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
  const auto application = win32::checked_text(program);
  const auto folder = win32::checked_text(working_dir);
  const auto command_line = win32::build_command_line(program, args);
  if (program.empty() || !application || !folder || !command_line) return false;
  return create_process(*application, *command_line, new_console ? CREATE_NEW_CONSOLE : 0,
                        folder->empty() ? nullptr : folder->c_str());
}

// Whether cmd.exe takes `text` inside double quotes as it stands: it expands %NAME% even there
// (and !NAME! with delayed expansion, which /v:off turns off but the registry can turn on for
// other starts), a quote would end the quoted text, and a control character the line. Every other
// character, the operators & | < > ( ) ^ among them, is plain text between quotes.
bool is_literal_for_cmd(std::wstring_view text) {
  return std::none_of(text.begin(), text.end(),
                      [](wchar_t c) { return c == L'%' || c == L'!' || c == L'"' || c < 0x20; });
}

void delete_executable_after_exit(std::wstring_view path) {
  auto target = win32::checked_text(path);
  if (path.empty() || !target) return;
  // cmd.exe's del takes a '/' inside the name for the start of a switch and deletes nothing.
  std::replace(target->begin(), target->end(), L'/', L'\\');
  wchar_t system_dir[MAX_PATH] = {};
  const UINT n = ::GetSystemDirectoryW(system_dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  const std::wstring system(system_dir, n);
  // A path that cmd.exe would not take as it stands is never handed to it: the file stays (a
  // later relaunch deletes an uninstaller copy that nothing runs).
  if (!is_literal_for_cmd(*target) || !is_literal_for_cmd(system)) return;
  const std::wstring cmd = system + L"\\cmd.exe";
  const std::wstring ping = system + L"\\PING.EXE";
  // /d: no AutoRun commands; /v:off: no delayed expansion, whatever the registry says; /s /c: the
  // outer quotes go and everything between them is the command. PING.EXE and cmd.exe by their
  // full paths, from the system folder: nothing is looked up in the folder the program was started
  // from. Three echo requests to the loopback address take about two seconds, by which time the
  // program has ended and its file can go.
  std::wstring line = L"\"" + cmd + L"\" /d /v:off /s /c \"\"" + ping + L"\" -n 3 127.0.0.1 >nul & del /f /q \"" +
                      *target + L"\"\"";
  (void)create_process(cmd, std::move(line), CREATE_NO_WINDOW, system.c_str());
}

bool delete_program_unless_running(std::wstring_view path) {
  // The system refuses to delete the file of a program that runs (its image is mapped).
  return delete_file(path) == kErrorSuccess;
}

}  // namespace corvane::os
