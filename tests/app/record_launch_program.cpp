#include "app/record_launch_program.h"

#include <chrono>
#include <string>
#include <thread>

#include "os/fs.h"
#include "os/process_spawn.h"
#include "os/text.h"

namespace corvane::test {

int run_record_launch(const std::vector<std::wstring>& args) {
  std::string text;
  bool delete_self = false;
  for (const std::wstring& arg : args) {
    text += os::to_utf8(arg);
    text += '\n';
    delete_self = delete_self || arg == L"--delete-self";
    if (arg == L"--module-path") text += os::to_utf8(os::module_file_path()) + '\n';
  }
  if (os::write_file(L"launch-record.txt.part", text) != os::kErrorSuccess ||
      os::move_file(L"launch-record.txt.part", L"launch-record.txt", os::kMoveReplaceExisting) != os::kErrorSuccess) {
    return 1;
  }
  if (delete_self) os::delete_executable_after_exit(os::module_file_path());
  // Keeps running (up to a minute) while a file "hold" is in the current folder.
  for (int i = 0; i < 600 && os::file_info(L"hold"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return 0;
}

}  // namespace corvane::test
