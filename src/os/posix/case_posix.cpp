#include "os/text.h"

namespace corvane::os {

// The comparison Windows makes of file names, from the same table on every platform, so that a
// name is the same file here exactly when it would be one there.
bool equal_ignoring_case(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && (a == b || file_name_key(a) == file_name_key(b));
}

}  // namespace corvane::os
