#include "ui/gtk/startup_trace.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace corvane {
namespace {

// The process's start on the monotonic clock, in seconds: field 22 of /proc/self/stat (clock
// ticks since boot, the origin of CLOCK_BOOTTIME). Negative when unreadable.
double process_start() {
  std::ifstream stat("/proc/self/stat");
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t end_of_name = text.rfind(')');
  if (end_of_name == std::string::npos) return -1.0;
  std::istringstream fields(text.substr(end_of_name + 2));
  std::string field;
  for (int number = 3; number <= 22 && fields >> field; ++number) {
    if (number == 22) return std::strtod(field.c_str(), nullptr) / static_cast<double>(::sysconf(_SC_CLK_TCK));
  }
  return -1.0;
}

}  // namespace

void startup_mark(const char* what) {
  static const bool enabled = std::getenv("CORVANE_STARTUP_TRACE") != nullptr;
  if (!enabled) return;
  static const double start = process_start();
  timespec now{};
  ::clock_gettime(CLOCK_BOOTTIME, &now);
  const double seconds = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
  std::fprintf(stderr, "corvane-startup %.3f %s\n", start < 0 ? 0.0 : seconds - start, what);
}

}  // namespace corvane
