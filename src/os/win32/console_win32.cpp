#include "os/console.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace corvane::os {

ConsoleOutput::ConsoleOutput() {
  // Text mode would write every "\n" as "\r\n" into pipes and files.
  (void)_setmode(_fileno(stdout), _O_BINARY);
  // The C runtime treats line buffering as full buffering: write each printf at once instead.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
    const UINT current = GetConsoleOutputCP();
    if (current != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) previous_code_page_ = current;
  }
}

ConsoleOutput::~ConsoleOutput() {
  std::fflush(stdout);
  if (previous_code_page_ != 0) SetConsoleOutputCP(previous_code_page_);
}

}  // namespace corvane::os
