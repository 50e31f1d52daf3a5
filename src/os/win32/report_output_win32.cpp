#include "os/report_output.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "os/win32/win32_common.h"

namespace corvane::os {
namespace {

// A handle that leads somewhere: a console, a pipe or a file.
bool leads_somewhere(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

HANDLE duplicate(HANDLE handle) {
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

void write_all(HANDLE handle, const char* bytes, std::size_t size) {
  while (handle != nullptr && size > 0) {
    DWORD written = 0;
    const DWORD chunk = size > 65536 ? 65536 : static_cast<DWORD>(size);
    if (!::WriteFile(handle, bytes, chunk, &written, nullptr) || written == 0) return;
    bytes += written;
    size -= written;
  }
}

}  // namespace

// The C runtime's standard output (descriptor 1) becomes the write end of a pipe; a thread reads it
// and passes on whole lines to the former destination and to the log. Whole lines matter for a
// console: it decodes every write as UTF-8 on its own.
struct ReportOutput::Impl {
  win32::KernelHandle target;  // where standard output led, or the attached console; may be none
  win32::KernelHandle log;
  win32::KernelHandle read_end;
  int previous = -1;  // the former descriptor 1, duplicated; -1 when there was none
  UINT previous_code_page = 0;  // 0: the console's code page was not changed
  std::thread copier;

  void copy_lines() {
    std::string pending;
    char buffer[4096];
    for (;;) {
      DWORD n = 0;
      if (!::ReadFile(read_end.get(), buffer, sizeof buffer, &n, nullptr) || n == 0) break;
      pending.append(buffer, n);
      const std::size_t end = pending.rfind('\n');
      if (end == std::string::npos) continue;
      write_all(target.get(), pending.data(), end + 1);
      write_all(log.get(), pending.data(), end + 1);
      pending.erase(0, end + 1);
    }
    write_all(target.get(), pending.data(), pending.size());
    write_all(log.get(), pending.data(), pending.size());
  }
};

ReportOutput::ReportOutput(std::wstring_view log_path) : impl_(std::make_unique<Impl>()) {
  std::fflush(stdout);
  const int stdout_fd = _fileno(stdout);
  if (stdout_fd >= 0) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(stdout_fd));
    if (leads_somewhere(handle)) {
      impl_->target.reset(duplicate(handle));
      impl_->previous = _dup(stdout_fd);
    }
  }
  if (!impl_->target && leads_somewhere(::GetStdHandle(STD_OUTPUT_HANDLE))) {
    impl_->target.reset(duplicate(::GetStdHandle(STD_OUTPUT_HANDLE)));
  }
  // A program started from a command prompt without redirection has nowhere to write: the
  // prompt's console is attached. It stays attached for the life of the process.
  if (!impl_->target && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
    impl_->target.reset(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  }
  DWORD mode = 0;
  if (impl_->target && ::GetConsoleMode(impl_->target.get(), &mode)) {
    const UINT current = ::GetConsoleOutputCP();
    if (current != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) impl_->previous_code_page = current;
  }
  if (!log_path.empty()) {
    const auto native = win32::native_path(log_path);
    if (!native) {
      log_error_ = win32::kErrorBadPathName;
    } else {
      impl_->log.reset(::CreateFileW(native->c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!impl_->log) log_error_ = win32::last_error();
    }
  }

  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, nullptr, 0)) return;
  impl_->read_end.reset(read_end);
  const int write_fd = _open_osfhandle(reinterpret_cast<intptr_t>(write_end), _O_BINARY | _O_WRONLY);
  if (write_fd < 0) {
    ::CloseHandle(write_end);
    impl_->read_end.reset();
    return;
  }
  // A program without a console starts with no descriptor behind stdout: it gets one first.
  if (_fileno(stdout) < 0) (void)std::freopen("NUL", "wb", stdout);
  const bool moved = _fileno(stdout) >= 0 && _dup2(write_fd, _fileno(stdout)) == 0;
  _close(write_fd);
  if (!moved) {
    impl_->read_end.reset();
    return;
  }
  (void)_setmode(_fileno(stdout), _O_BINARY);
  // Unbuffered: every line reaches the pipe when it is printed; the copier puts lines together.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  impl_->copier = std::thread([impl = impl_.get()] { impl->copy_lines(); });
}

ReportOutput::~ReportOutput() {
  std::fflush(stdout);
  if (impl_->copier.joinable()) {
    // Putting the former descriptor back (or closing it) closes the pipe's last write end: the
    // copier reads to the end and stops.
    const int stdout_fd = _fileno(stdout);
    if (impl_->previous >= 0) {
      (void)_dup2(impl_->previous, stdout_fd);
    } else {
      (void)_close(stdout_fd);
    }
    impl_->copier.join();
  }
  if (impl_->previous >= 0) _close(impl_->previous);
  if (impl_->previous_code_page != 0) ::SetConsoleOutputCP(impl_->previous_code_page);
}

std::size_t console_process_count() {
  DWORD ids[64] = {};
  return ::GetConsoleProcessList(ids, 64);
}

}  // namespace corvane::os
