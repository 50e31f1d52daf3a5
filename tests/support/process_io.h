#pragma once
#include <cstdint>
#include <optional>

namespace corvane::test {

// Bytes this process has read so far, as the system counts them: rchar of /proc/self/io on Linux,
// the read transfer count of GetProcessIoCounters on Windows. Nothing when it cannot be read. Wine
// answers, but never counts (always 0).
std::optional<std::uint64_t> bytes_read_by_process();

}  // namespace corvane::test
