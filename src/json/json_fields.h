#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Flat access to single members of a JSON line or one-line object, without parsing the text, and
// the escaping used to write string values back. Used for launcher.json, which is read as lines.
namespace corvane {

// The value of the first `"key":"` in `text`, up to the next unescaped quote or the end of the
// text. A backslash drops out and keeps the byte after it literally (so \" does not end the value
// and \n gives n). Empty when the member is missing; whitespace around the colon hides it.
std::string find_string_field(std::string_view text, std::string_view key);

// The number after the first `"key":` in `text`, converted like strtoll in base 10: leading
// whitespace and a sign accepted, 0 without digits, clamped to the signed 64-bit range. 0 when the
// member is missing.
std::int64_t find_int_field(std::string_view text, std::string_view key);

// Escapes UTF-8 text for a place between double quotes: a quote and a backslash get a backslash,
// bytes below 0x20 are dropped, everything else is copied.
std::string escape_json_text(std::string_view bytes);

}  // namespace corvane
