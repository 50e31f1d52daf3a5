#pragma once
#include <string>
#include <string_view>

// Path rules that every subsystem may use; they sit just above the platform layer. The string
// rules accept both '\' and '/' on every platform; only path_exists and dir_exists look at the disk.
namespace corvane {

// Removes a trailing '\' or '/' one at a time while the path has 4 or more characters, so a drive
// root "C:\" keeps its separator: "C:\Games\" -> "C:\Games", "D:\a\\" -> "D:\a".
std::wstring trim_trailing_slashes(std::wstring_view path);
// The part after the last '\' or '/'; the whole path when it has neither.
std::wstring file_name_of(std::wstring_view path);
// The part before the last '\' or '/'; empty when the path has neither.
std::wstring parent_dir(std::wstring_view path);
// Something (a file, a folder or a link) is at `path`.
bool path_exists(std::wstring_view path);
// A folder is at `path` (or a link to one).
bool dir_exists(std::wstring_view path);
// Ordinal comparison of the whole strings with letter case ignored (CompareStringOrdinal on
// Windows), so "\" and "/" are different characters here.
bool paths_equal(std::wstring_view a, std::wstring_view b);
// folder + the platform separator + name.
std::wstring join_path(std::wstring_view folder, std::wstring_view name);

}  // namespace corvane
