#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The command line of a started program, written so that CommandLineToArgvW (and the C runtime's
// own parser) reads back exactly the program and the arguments it was given.
namespace corvane::os::win32 {

// `argument` in double quotes. A run of backslashes is doubled where it stands before a quote of
// the argument or before the closing quote, and a quote gets a backslash: "C:\" is written
// "C:\\" and read back as C:\.
std::wstring quote_argument(std::wstring_view argument);

// The program in double quotes (the first field is read up to the next quote, without escapes),
// then each argument quoted, separated by blanks. Nothing when the program's path holds a quote
// or a NUL, which no file name can.
std::optional<std::wstring> build_command_line(std::wstring_view program, const std::vector<std::wstring>& args);

}  // namespace corvane::os::win32
