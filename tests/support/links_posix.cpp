#include <unistd.h>

#include "os/text.h"
#include "support/links.h"

namespace corvane::test {

bool make_link(const std::wstring& link, const std::wstring& target, bool /*directory*/) {
  return ::symlink(os::to_utf8(target).c_str(), os::to_utf8(link).c_str()) == 0;
}

}  // namespace corvane::test
