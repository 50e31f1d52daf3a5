#include "net/wait_limits.h"

#include <mutex>

namespace corvane {
namespace {

std::mutex g_lock;
WaitLimits g_limits;

}  // namespace

WaitLimits wait_limits() {
  const std::lock_guard<std::mutex> guard(g_lock);
  return g_limits;
}

void set_wait_limits(const WaitLimits& limits) {
  const std::lock_guard<std::mutex> guard(g_lock);
  g_limits = limits;
}

}  // namespace corvane
