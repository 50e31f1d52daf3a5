#pragma once
#include <string>
#include <string_view>

// Strict JSON checks for text that setup writes back for another program to parse. JsonCursor's
// skip_value lets any run of number and literal bytes pass ("nul", "-", "e"); these accept only
// what every JSON parser reads.
namespace corvane {

// Whether `text` is exactly one JSON value, with optional whitespace (space, tab, CR, LF) around
// it: numbers in the JSON grammar only, true, false and null, strings of valid UTF-8 whose escapes
// are valid and whose \u escapes of surrogates come in pairs, at most 32 levels of nesting.
bool is_json_value(std::string_view text);

// `bytes` with each broken UTF-8 sequence replaced by U+FFFD (EF BF BD), as the text conversion
// replaces it; valid text comes back unchanged.
std::string valid_utf8(std::string_view bytes);

}  // namespace corvane
