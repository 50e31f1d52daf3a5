#include "tool_entry.h"

#include <windows.h>

namespace {

std::string to_utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.pop_back();  // the terminator
  return out;
}

}  // namespace

// The C runtime calls wmain with the wide command line (-municode).
int wmain(int argc, wchar_t** argv) {
  // DLLs that load from now on (those imported on first use among them) come from the system
  // folder only, never from the program's own folder or the current one.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  std::vector<std::string> args;
  args.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) args.push_back(to_utf8(argv[i]));
  return tool_main(args);
}
