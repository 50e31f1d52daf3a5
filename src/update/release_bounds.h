#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// The two optional members of a signed manifest that bound which releases a client accepts:
// "serial", which never goes down from one release to the next, and "expires", the UTC time
// ("2027-01-31T00:00:00Z") after which the manifest is stale. Clients that do not know them skip
// them. The highest serials a client folder has installed are kept beside it.
namespace corvane {

struct ReleaseBounds {
  std::uint64_t serial = 0;
  bool expires_set = false;
  std::int64_t expires = 0;  // seconds since 1970-01-01 UTC
};

// Reads the two members from the manifest's top level; false when the text is not a JSON object or
// a member has the wrong type or an unreadable time.
[[nodiscard]] bool read_release_bounds(std::string_view manifest_text, ReleaseBounds& bounds);

// "YYYY-MM-DDTHH:MM:SSZ", years 1970 to 9999, to seconds since 1970; false for any other text.
[[nodiscard]] bool parse_utc_time(std::string_view text, std::int64_t& seconds);

// The manifest text with the members put first in its top-level object (serial 0 and an empty
// expiry are left out). The text must begin with '{'.
std::string with_release_bounds(std::string_view manifest_text, std::uint64_t serial, std::string_view expires);

// What the client folder has installed: the highest manifest serial and key-list serial.
struct InstalledSerials {
  std::uint64_t manifest = 0;
  std::uint64_t keys = 0;
};

// The file at the top of the client folder that keeps them.
inline constexpr wchar_t kSerialFileName[] = L"release.serial";

// Missing or unreadable: both 0.
InstalledSerials read_installed_serials(std::wstring_view install_dir);
// Written whole to a temporary name, flushed and moved over the old file.
[[nodiscard]] std::uint32_t write_installed_serials(std::wstring_view install_dir, const InstalledSerials& serials);

}  // namespace corvane
