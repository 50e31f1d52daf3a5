// The setup's process entry on Windows: the command line split into arguments, the executable's
// own path, and the Win32 window host with its WebView2 view, whose environment comes from the
// setup's own runtime loader.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/setup_entry.h"
#include "app/silent_command.h"
#include "app/silent_setup.h"
#include "app/window_proc.h"
#include "os/process_spawn.h"
#include "ui/dispatcher.h"
#include "ui/win32/webview2.h"
#include "ui/win32/win32_ui_host.h"

namespace {

std::vector<std::wstring> command_line_arguments() {
  std::vector<std::wstring> args;
  int count = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 0; i < count; ++i) args.emplace_back(argv[i]);
    LocalFree(argv);
  }
  return args;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  // DLLs that load from now on (those imported on first use among them) come from the system
  // folder only, never from the folder the program was started from, such as Downloads.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Without a window ("/S"): no window host and no view are made.
  const std::vector<std::wstring> args = command_line_arguments();
  if (corvane::is_silent_command(args)) return corvane::run_silent_setup(args, corvane::os::module_file_path());
  corvane::win32::HostHandlers handlers{
      [](corvane::WindowMessage message, std::uintptr_t wparam, std::unique_ptr<std::wstring> text) {
        return corvane::window_proc(message, wparam, std::move(text));
      },
      [](const corvane::ViewResult& result) { corvane::on_view_created(result); },
      [](std::wstring_view command) { corvane::dispatch_command(command); },
      &corvane::placement_on_monitor,
      &corvane::view_zoom_for,
      &corvane::session_may_end,
      nullptr,  // the Win32 host reports a missing runtime through the view's creation result
  };
  corvane::win32::Win32UiHost host(instance, show_command, std::move(handlers),
                                   &CreateCoreWebView2EnvironmentWithOptions);
  return corvane::run_setup(host, args, corvane::os::module_file_path());
}
