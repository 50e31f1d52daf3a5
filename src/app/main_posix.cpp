// The setup's process entry on Linux: the arguments as wide text, the executable's own path, and
// the UI host of this build: the GTK window, or, when no display can be opened, a host without a
// window (its message boxes go to standard error and the window cannot be created: exit code 1).
#include <memory>
#include <string>
#include <vector>

#include "app/setup_entry.h"
#include "app/silent_command.h"
#include "app/silent_setup.h"
#include "app/window_proc.h"
#include "os/process_spawn.h"
#include "os/text.h"
#include "ui/console_ui_host.h"
#include "ui/dispatcher.h"
#include "ui/gtk/gtk_ui_host.h"

int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  args.reserve(static_cast<std::size_t>(argc));
  // Arguments are bytes: a folder whose name is not UTF-8 must still name the same folder.
  for (int i = 0; i < argc; ++i) args.push_back(corvane::os::from_utf8_lossless(argv[i]));
  // Without a window ("/S"): no display is opened.
  if (corvane::is_silent_command(args)) return corvane::run_silent_setup(args, corvane::os::module_file_path());
  corvane::HostHandlers handlers{
      [](corvane::WindowMessage message, std::uintptr_t wparam, std::unique_ptr<std::wstring> text) {
        return corvane::window_proc(message, wparam, std::move(text));
      },
      [](const corvane::ViewResult& result) { corvane::on_view_created(result); },
      [](std::wstring_view command) { corvane::dispatch_command(command); },
      nullptr,
      nullptr,
      nullptr,
      &corvane::show_runtime_missing,
  };
  std::unique_ptr<corvane::UiHost> host = corvane::make_gtk_ui_host(std::move(handlers));
  if (!host) host = std::make_unique<corvane::ConsoleUiHost>();
  return corvane::run_setup(*host, args, corvane::os::module_file_path());
}
