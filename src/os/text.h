#pragma once
#include <string>
#include <string_view>

// UTF-8 <-> wide text. Wide strings are UTF-16 on Windows and code points on Linux; paths and
// everything exchanged with the system and the page are wide, file contents and network bodies
// UTF-8. Invalid input sequences become U+FFFD, as the Windows conversion does.
namespace corvane::os {

std::wstring from_utf8(std::string_view utf8);
std::string to_utf8(std::wstring_view wide);

// Appends one code point (at most U+10FFFF) as UTF-8: one to four bytes.
void append_utf8(std::string& out, char32_t code_point);

// Ordinal comparison of two whole strings with letter case ignored (CompareStringOrdinal with
// ignore-case on Windows: each character through the simple upper-case mapping, any locale).
bool equal_ignoring_case(std::wstring_view a, std::wstring_view b);

}  // namespace corvane::os
