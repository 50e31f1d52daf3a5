#pragma once
#include <string>
#include <string_view>

// UTF-8 <-> wide text. Wide strings are UTF-16 on Windows and code points on Linux; paths and
// everything exchanged with the system and the page are wide, file contents and network bodies
// UTF-8. Invalid input sequences become U+FFFD, as the Windows conversion does.
namespace corvane::os {

std::wstring from_utf8(std::string_view utf8);
std::string to_utf8(std::wstring_view wide);

// Lossless conversion of names that the system hands over as bytes (file names, command-line
// arguments and environment values on Linux), so that every name found can be given back to the
// system unchanged. Valid UTF-8 decodes exactly as from_utf8 decodes it. Each byte that does not
// begin a valid sequence becomes one lone surrogate, U+DC00 + byte (U+DC80 to U+DCFF), and
// to_utf8_lossless writes such a surrogate back as that byte: to_utf8_lossless(from_utf8_lossless(b))
// == b for every byte string b. Any other lone surrogate becomes U+FFFD, as in to_utf8.
// Texts that must be valid UTF-8 (launcher.json, the page's messages) keep using to_utf8, which
// never writes such a byte. Windows needs neither function: its names are UTF-16 already.
std::wstring from_utf8_lossless(std::string_view bytes);
std::string to_utf8_lossless(std::wstring_view wide);

// Appends one code point (at most U+10FFFF) as UTF-8: one to four bytes.
void append_utf8(std::string& out, char32_t code_point);

// Ordinal comparison of two whole strings with letter case ignored (CompareStringOrdinal with
// ignore-case on Windows: each character through the simple upper-case mapping, any locale).
bool equal_ignoring_case(std::wstring_view a, std::wstring_view b);

// The upper case that Windows gives one UTF-16 unit when it compares file names (ordinal, case
// ignored, whatever the locale): the simple upper-case mapping of the Unicode data within the first
// plane where the lower case of that letter leads back (tools/upcase_table). Surrogates, and units
// without such a mapping (final sigma, dotless i, the micro sign), stay as they are.
char16_t upcase_unit(char16_t unit);
// A name as Windows compares file names: its UTF-16 units, each through upcase_unit. Two names are
// one name to Windows exactly when their keys are equal; so on every platform.
std::u16string file_name_key(std::wstring_view name);

}  // namespace corvane::os
