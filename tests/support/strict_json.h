#pragma once
#include <string>
#include <string_view>
#include <vector>

// An independent judge of JSON text for the tests: Python's json module with every leniency off
// (the text must be UTF-8 without a byte order mark; no NaN or Infinity; no member name twice in
// one object), run on a copy of the text.
namespace corvane::test {

struct StrictJson {
  bool valid = false;
  // Valid: the value written back compactly, non-ASCII as \u escapes ({"a":[1,"\u00e9"]}).
  // Invalid: the parser's complaint.
  std::string text;
};

StrictJson strict_json(std::string_view bytes);

// The same judgement for many texts at once (none may hold a line feed): valid or not, in order.
// Empty when the checker could not be run.
std::vector<bool> strict_json_each(const std::vector<std::string>& texts);

}  // namespace corvane::test
