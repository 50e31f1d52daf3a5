#include "base/paths.h"

#include "os/fs.h"
#include "os/platform.h"
#include "os/text.h"

namespace corvane {
namespace {

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::size_t last_separator(std::wstring_view path) { return path.find_last_of(L"\\/"); }

}  // namespace

std::wstring trim_trailing_slashes(std::wstring_view path) {
  while (path.size() >= 4 && is_separator(path.back())) path.remove_suffix(1);
  return std::wstring(path);
}

std::wstring file_name_of(std::wstring_view path) {
  const std::size_t sep = last_separator(path);
  return std::wstring(sep == std::wstring_view::npos ? path : path.substr(sep + 1));
}

std::wstring parent_dir(std::wstring_view path) {
  const std::size_t sep = last_separator(path);
  return sep == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, sep));
}

bool path_exists(std::wstring_view path) { return os::file_info(path).has_value(); }

bool dir_exists(std::wstring_view path) {
  const auto info = os::file_info(path);
  return info && info->is_directory;
}

bool paths_equal(std::wstring_view a, std::wstring_view b) { return os::equal_ignoring_case(a, b); }

std::wstring join_path(std::wstring_view folder, std::wstring_view name) {
  std::wstring out(folder);
  out += os::kSep;
  out += name;
  return out;
}

}  // namespace corvane
