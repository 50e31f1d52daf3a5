#include <locale.h>
#include <wctype.h>

#include "os/text.h"

namespace corvane::os {
namespace {

// The C.UTF-8 locale gives the Unicode simple case mapping whatever the process locale is.
locale_t unicode_locale() {
  static const locale_t locale = [] {
    locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return l ? l : ::newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
  }();
  return locale;
}

}  // namespace

bool equal_ignoring_case(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  const locale_t locale = unicode_locale();
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && ::towupper_l(static_cast<wint_t>(a[i]), locale) !=
                            ::towupper_l(static_cast<wint_t>(b[i]), locale)) {
      return false;
    }
  }
  return true;
}

}  // namespace corvane::os
