#pragma once
#include <string>
#include <string_view>

// The JSON text of the messages to the page.
namespace corvane {

// A JSON string literal: the text between double quotes, with '"' and '\' escaped by a backslash,
// tab, line feed and carriage return as \t \n \r, every other character below U+0020 as \u00xx
// (lower-case hex), and everything else (non-ASCII letters, '/', U+007F) written unchanged: per
// UTF-16 code unit on Windows, per character on Linux. A surrogate that is not half of a UTF-16
// pair (a byte of a Linux file name that is not UTF-8, or a broken Windows name) is written as
// its \udcxx escape: the message stays valid UTF-8 and valid JSON, and the page gets that unit.
std::wstring json_quote(std::wstring_view text);

// "true" or "false".
std::wstring json_bool(bool value);

// The text of the JSON string literal at the start of `literal` (the inverse of json_quote: every
// escape JSON knows, \uXXXX as that one code unit); whatever follows the closing quote is ignored.
// Empty when `literal` does not start with a complete string literal.
std::wstring json_unquote(std::wstring_view literal);

}  // namespace corvane
