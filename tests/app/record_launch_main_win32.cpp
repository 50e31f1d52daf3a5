// A small program for the tests that start programs: it records how it was started (see
// record_launch_program.h) and ends. The C runtime hands over the arguments as it has split the
// command line, in UTF-16.
#include <string>
#include <vector>

#include "app/record_launch_program.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return corvane::test::run_record_launch(args);
}
