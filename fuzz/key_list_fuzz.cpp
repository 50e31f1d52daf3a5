// Key list reader (keys.json), and the serial and expiry members of a signed manifest: any text
// either fails or reads back as what it says, and what the key list reader accepts survives being
// written out and read again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "update/key_list.h"
#include "update/release_bounds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  corvane::ReleaseBounds bounds;
  if (corvane::read_release_bounds(text, bounds) && bounds.expires_set && bounds.expires < 0) __builtin_trap();

  corvane::KeyList list;
  if (!corvane::parse_key_list(text, list)) return 0;
  if (list.keys.empty() || list.keys.size() > corvane::kMaxReleaseKeys) __builtin_trap();
  corvane::KeyList again;
  if (!corvane::parse_key_list(corvane::key_list_text(list), again) || again.serial != list.serial ||
      again.keys != list.keys) {
    __builtin_trap();
  }
  return 0;
}
