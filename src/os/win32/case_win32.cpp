#include <windows.h>

#include <limits>

#include "os/text.h"

namespace corvane::os {

bool equal_ignoring_case(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return a == b;
  const int n = static_cast<int>(a.size());
  return ::CompareStringOrdinal(a.data(), n, b.data(), n, TRUE) == CSTR_EQUAL;
}

}  // namespace corvane::os
