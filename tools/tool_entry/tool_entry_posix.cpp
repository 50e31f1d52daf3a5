#include "tool_entry.h"

int main(int argc, char** argv) { return tool_main(std::vector<std::string>(argv, argv + argc)); }
