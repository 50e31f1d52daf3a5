// A small program for the tests that start programs: it records how it was started (see
// record_launch_program.h) and ends. The kernel hands over the arguments as UTF-8 bytes.
#include <string>
#include <vector>

#include "app/record_launch_program.h"
#include "os/text.h"

int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.push_back(corvane::os::from_utf8(argv[i]));
  return corvane::test::run_record_launch(args);
}
