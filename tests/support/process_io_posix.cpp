#include "support/process_io.h"

#include <fstream>
#include <string>

namespace corvane::test {

std::optional<std::uint64_t> bytes_read_by_process() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return std::nullopt;
}

}  // namespace corvane::test
