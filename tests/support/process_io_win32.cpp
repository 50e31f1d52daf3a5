#include "support/process_io.h"

#include <windows.h>

namespace corvane::test {

std::optional<std::uint64_t> bytes_read_by_process() {
  IO_COUNTERS counters{};
  if (!GetProcessIoCounters(GetCurrentProcess(), &counters)) return std::nullopt;
  return counters.ReadTransferCount;
}

}  // namespace corvane::test
