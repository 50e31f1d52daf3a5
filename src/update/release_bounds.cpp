#include "update/release_bounds.h"

#include <cstdio>

#include "base/paths.h"
#include "json/json_cursor.h"
#include "os/fs.h"

namespace corvane {
namespace {

bool digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian calendar).
std::int64_t days_from_civil(int y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = y / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool is_leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// "manifest N" or "keys N" on a line of its own.
std::uint64_t value_after(const std::string& text, std::string_view name) {
  const std::string key = std::string(name) + " ";
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (line.rfind(key, 0) == 0) {
      std::uint64_t value = 0;
      for (std::size_t i = key.size(); i < line.size(); ++i) {
        if (line[i] < '0' || line[i] > '9' || value > (UINT64_MAX - 9) / 10) return 0;
        value = value * 10 + static_cast<std::uint64_t>(line[i] - '0');
      }
      return value;
    }
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return 0;
}

}  // namespace

bool parse_utc_time(std::string_view text, std::int64_t& seconds) {
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z') {
    return false;
  }
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (!digits(text, 0, 4, y) || !digits(text, 5, 2, mo) || !digits(text, 8, 2, d) || !digits(text, 11, 2, h) ||
      !digits(text, 14, 2, mi) || !digits(text, 17, 2, s)) {
    return false;
  }
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1970 || mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || s > 59) return false;
  if (d > kDays[mo - 1] + (mo == 2 && is_leap(y) ? 1 : 0)) return false;
  seconds = days_from_civil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
  return true;
}

bool read_release_bounds(std::string_view manifest_text, ReleaseBounds& bounds) {
  bounds = ReleaseBounds{};
  JsonCursor cursor(manifest_text);
  if (!cursor.expect_char('{')) return false;
  if (cursor.expect_char('}')) return true;
  do {
    std::string name;
    if (!cursor.read_string(name) || !cursor.expect_char(':')) return false;
    if (name == "serial") {
      if (!cursor.read_unsigned(bounds.serial)) return false;
    } else if (name == "expires") {
      std::string text;
      if (!cursor.read_string(text) || !parse_utc_time(text, bounds.expires)) return false;
      bounds.expires_set = true;
    } else if (!cursor.skip_value(0)) {
      return false;
    }
  } while (cursor.expect_char(','));
  return cursor.expect_char('}');
}

std::string with_release_bounds(std::string_view manifest_text, std::uint64_t serial, std::string_view expires) {
  std::string members;
  if (serial != 0) members += "\n  \"serial\": " + std::to_string(serial) + ",";
  if (!expires.empty()) members += "\n  \"expires\": \"" + std::string(expires) + "\",";
  if (manifest_text.empty() || manifest_text.front() != '{') return std::string(manifest_text);
  return "{" + members + std::string(manifest_text.substr(1));
}

InstalledSerials read_installed_serials(std::wstring_view install_dir) {
  std::string text;
  if (!os::read_file(join_path(install_dir, kSerialFileName), text) || text.size() > 256) return {};
  return {value_after(text, "manifest"), value_after(text, "keys")};
}

std::uint32_t write_installed_serials(std::wstring_view install_dir, const InstalledSerials& serials) {
  const std::string text =
      "manifest " + std::to_string(serials.manifest) + "\nkeys " + std::to_string(serials.keys) + "\n";
  return os::write_file_atomically(join_path(install_dir, kSerialFileName), text);
}

}  // namespace corvane
