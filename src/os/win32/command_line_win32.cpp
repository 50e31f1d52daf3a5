#include "os/win32/command_line_win32.h"

namespace corvane::os::win32 {

std::wstring quote_argument(std::wstring_view argument) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      out.append(2 * backslashes + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    backslashes = 0;
    out.push_back(c);
  }
  out.append(2 * backslashes, L'\\');
  out.push_back(L'"');
  return out;
}

std::optional<std::wstring> build_command_line(std::wstring_view program, const std::vector<std::wstring>& args) {
  if (program.find_first_of(std::wstring_view(L"\"\0", 2)) != std::wstring_view::npos) return std::nullopt;
  std::wstring line = L"\"";
  line += program;
  line += L'"';
  for (const std::wstring& arg : args) {
    if (arg.find(L'\0') != std::wstring::npos) return std::nullopt;
    line += L' ';
    line += quote_argument(arg);
  }
  return line;
}

}  // namespace corvane::os::win32
