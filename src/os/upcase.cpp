#include <algorithm>
#include <iterator>

#include "os/text.h"

namespace corvane::os {
namespace {

struct UpcasePair {
  char16_t unit;
  char16_t upper;
};

constexpr UpcasePair kUpcase[] = {
#include "os/upcase_table.inc"
};

static_assert(std::is_sorted(std::begin(kUpcase), std::end(kUpcase),
                             [](const UpcasePair& a, const UpcasePair& b) { return a.unit < b.unit; }));

}  // namespace

char16_t upcase_unit(char16_t unit) {
  if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - (u'a' - u'A')) : unit;
  const auto* it = std::lower_bound(std::begin(kUpcase), std::end(kUpcase), unit,
                                    [](const UpcasePair& p, char16_t u) { return p.unit < u; });
  return it != std::end(kUpcase) && it->unit == unit ? it->upper : unit;
}

std::u16string file_name_key(std::wstring_view name) {
  std::u16string key;
  key.reserve(name.size());
  for (const wchar_t c : name) {
    const auto cp = static_cast<char32_t>(c);
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      // A code point beyond the first plane is two surrogate units to Windows, neither of which
      // has a case.
      key.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      key.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      key.push_back(upcase_unit(static_cast<char16_t>(cp)));
    }
  }
  return key;
}

}  // namespace corvane::os
