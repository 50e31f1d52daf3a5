#include "app/record_launch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "os/fs.h"
#include "os/text.h"
#include "support/temp_dir.h"

namespace corvane::test {

std::wstring record_launch_program() { return build_tree_path(CORVANE_RECORD_LAUNCH_PROGRAM); }

void install_record_launch_program(const std::wstring& path) {
  ASSERT_EQ(os::copy_file(record_launch_program(), path, false), os::kErrorSuccess);
}

std::optional<std::string> wait_for_launch_record(const std::wstring& folder) {
  const std::wstring record = folder + L"/launch-record.txt";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    std::string text;
    if (os::read_file(record, text)) return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return std::nullopt;
}

}  // namespace corvane::test
