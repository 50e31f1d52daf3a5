#include "base/size_text.h"

#include <cmath>

namespace corvane {
namespace {

constexpr double kGib = 1073741824.0;
constexpr double kMib = 1048576.0;
constexpr double kKib = 1024.0;

// One decimal with a decimal comma: 1.46 -> "1,5".
std::string one_decimal(double value) {
  const long long tenths = std::llround(value * 10.0);
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
}

}  // namespace

std::string size_text(std::uint64_t bytes) {
  const auto value = static_cast<double>(bytes);
  if (value >= kGib) return one_decimal(value / kGib) + " Gb";
  if (value >= kMib) return one_decimal(value / kMib) + " Mb";
  return std::to_string(std::llround(value / kKib)) + " Kb";
}

}  // namespace corvane
