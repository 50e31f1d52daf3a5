#pragma once
#include <string>
#include <string_view>
#include <vector>

// A judge of JSON text for the tests: on Linux an independent one, Python's json module with every
// leniency off (the text must be UTF-8 without a byte order mark; no NaN or Infinity; no member
// name twice in one object), run on a copy of the text. On Windows, where the tests run under Wine
// without Python, the project's own strict checker (json/json_strict.h, cross-checked against
// Python on Linux) with the same rule about member names (strict_json_win32.cpp).
namespace corvane::test {

struct StrictJson {
  bool valid = false;
  // Valid: the value written back compactly, non-ASCII as \u escapes ({"a":[1,"\u00e9"]}).
  // Invalid: the parser's complaint.
  std::string text;
};

StrictJson strict_json(std::string_view bytes);

// The same judgement for many texts at once (none may hold a line feed): valid or not, in order.
// Empty when the checker could not be run. Linux only: it serves to cross-check the project's
// checker against Python.
std::vector<bool> strict_json_each(const std::vector<std::string>& texts);

}  // namespace corvane::test
