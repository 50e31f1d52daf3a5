#pragma once
#include <optional>
#include <string>
#include <string_view>

// A strict decoder of one JSON string literal, for checking what a JSON parser on the page would
// read from the setup's messages. Test use only.
namespace corvane::test {

// The text of `literal` (which must be exactly one JSON string: quotes, escapes of RFC 8259, no
// raw control character); nullopt when it is not valid JSON. \u surrogate pairs become one
// character where wchar_t holds code points.
std::optional<std::wstring> decode_json_string(std::wstring_view literal);

// The value of the string member `name` of a flat JSON object text, decoded; nullopt when the
// member is missing or its value is not a valid string.
std::optional<std::wstring> json_string_member(std::wstring_view object, std::wstring_view name);

}  // namespace corvane::test
