#include "os/process_spawn.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "os/fs.h"

#include "os/win32/command_line_win32.h"
#include "os/win32/win32_common.h"

namespace corvane::os {
namespace {

// The environment variable through which the self-delete hands its path to cmd.exe.
constexpr wchar_t kSelfDeleteVariable[] = L"CORVANE_SELF_DELETE";

// CreateProcessW with no inherited handles and, unless `environment` is given (a UTF-16 block),
// no environment block of its own; both returned handles are closed at once. False when the
// program could not be started.
bool create_process(const std::wstring& application, std::wstring command_line, DWORD flags,
                    const wchar_t* working_dir, std::wstring* environment = nullptr) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (environment != nullptr) flags |= CREATE_UNICODE_ENVIRONMENT;
  // CreateProcessW may write into the command line, so it gets a buffer of its own.
  if (!::CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, FALSE, flags,
                        environment != nullptr ? environment->data() : nullptr, working_dir, &startup, &started)) {
    return false;
  }
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return true;
}

// The name of one "NAME=value" entry of an environment block (an entry such as "=C:=C:\x" keeps
// its leading '=' in the name).
std::wstring_view entry_name(std::wstring_view entry) {
  const std::size_t eq = entry.find(L'=', 1);
  return entry.substr(0, eq == std::wstring_view::npos ? entry.size() : eq);
}

// This process's environment with `name`=`value` set, as a block for CreateProcessW: entries
// sorted by name without regard to case, each ended by a NUL, the block by another.
std::optional<std::wstring> environment_with(std::wstring_view name, std::wstring_view value) {
  wchar_t* block = ::GetEnvironmentStringsW();
  if (block == nullptr) return std::nullopt;
  std::vector<std::wstring> entries;
  for (const wchar_t* p = block; *p != L'\0'; p += std::wcslen(p) + 1) {
    const std::wstring_view entry(p);
    const std::wstring_view n = entry_name(entry);
    if (::CompareStringOrdinal(n.data(), static_cast<int>(n.size()), name.data(), static_cast<int>(name.size()),
                               TRUE) != CSTR_EQUAL) {
      entries.emplace_back(entry);
    }
  }
  ::FreeEnvironmentStringsW(block);
  entries.push_back(std::wstring(name) + L"=" + std::wstring(value));
  std::stable_sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
    const std::wstring_view x = entry_name(a);
    const std::wstring_view y = entry_name(b);
    return ::CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(), static_cast<int>(y.size()), TRUE) ==
           CSTR_LESS_THAN;
  });
  std::wstring out;
  for (const std::wstring& e : entries) {
    out += e;
    out.push_back(L'\0');
  }
  out.push_back(L'\0');
  return out;
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

void delete_executable_after_exit(std::wstring_view path) {
  auto target = win32::checked_text(path);
  if (path.empty() || !target) return;
  // cmd.exe's del takes a '/' inside the name for the start of a switch and deletes nothing.
  std::replace(target->begin(), target->end(), L'/', L'\\');
  // No file name holds a quote or a control character; a path with one is not handed on.
  if (std::any_of(target->begin(), target->end(), [](wchar_t c) { return c == L'"' || c < 0x20; })) return;
  wchar_t system_dir[MAX_PATH] = {};
  const UINT n = ::GetSystemDirectoryW(system_dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  const std::wstring system(system_dir, n);
  if (system.find_first_of(L"%!\"") != std::wstring::npos) return;
  const std::wstring cmd = system + L"\\cmd.exe";
  const std::wstring ping = system + L"\\PING.EXE";
  // The path is the value of a variable of the child's own environment: cmd.exe puts it in place of
  // %NAME% once and reads nothing in it as another variable, and inside the quotes no character of
  // it is an operator. /d: no AutoRun commands; /v:off: no delayed expansion, whatever the registry
  // says; /s /c: the outer quotes go, everything between them is the command. PING.EXE and cmd.exe
  // by their full paths, from the system folder: nothing is looked up in the folder the program
  // was started from. Three echo requests to the loopback address take about two seconds, by which
  // time the program has ended and its file can go.
  auto environment = environment_with(kSelfDeleteVariable, *target);
  if (!environment) return;
  std::wstring line = L"\"" + cmd + L"\" /d /v:off /s /c \"\"" + ping + L"\" -n 3 127.0.0.1 >nul & del /f /q \"%" +
                      kSelfDeleteVariable + L"%\"\"";
  (void)create_process(cmd, std::move(line), CREATE_NO_WINDOW, system.c_str(), &*environment);
}

bool delete_program_unless_running(std::wstring_view path) {
  // The system refuses to delete the file of a program that runs (its image is mapped).
  return delete_file(path) == kErrorSuccess;
}

}  // namespace corvane::os
