#pragma once
#include <string>
#include <vector>

// Defined by each command-line tool: its body, called by the platform's entry point with the
// command line as UTF-8 (args[0] is the program). Returns the exit code.
int tool_main(const std::vector<std::string>& args);
