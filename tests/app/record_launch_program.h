#pragma once
#include <string>
#include <vector>

// The body of the tests' recording program, after each platform's entry has read its arguments.
namespace corvane::test {

// Writes `args` (the program's own name not among them), one a line in UTF-8, to
// "launch-record.txt" in the current folder through a temporary name, so that a reader never sees
// a part of it. "--module-path" adds a line with the program's own path after itself. With
// "--delete-self" among them, the program then asks for its own file to be deleted once it has
// ended. Returns the process exit code.
int run_record_launch(const std::vector<std::wstring>& args);

}  // namespace corvane::test
