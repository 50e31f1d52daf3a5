#include "ui/console_ui_host.h"

#include <cstdio>

#include "os/text.h"

namespace corvane {

bool ConsoleUiHost::post_message(WindowMessage, std::unique_ptr<std::wstring>) { return false; }

MessageBoxAnswer ConsoleUiHost::message_box(std::wstring_view text, MessageBoxKind kind) {
  std::fprintf(stderr, "Corvane: %s\n", os::to_utf8(text).c_str());
  return kind == MessageBoxKind::YesNoWarning ? MessageBoxAnswer::No : MessageBoxAnswer::Ok;
}

ScreenRect ConsoleUiHost::work_area() { return {0, 0, 1920, 1040}; }

std::uint32_t ConsoleUiHost::system_dpi() { return 96; }

bool ConsoleUiHost::create_window(const ScreenRect&) { return false; }

}  // namespace corvane
