#pragma once
#include <cstdint>
#include <string>

// File-system objects that tests need and the platform layer never makes.
namespace corvane::test {

// Makes `link` a link to `target` (a folder when `directory`): a symbolic link on Linux; on
// Windows a symbolic link, or for a folder a junction when no symbolic link can be made. False
// when neither the system nor the user can make one here; nothing is left behind then.
bool make_link(const std::wstring& link, const std::wstring& target, bool directory);

// Makes the file read-only (mode 0444 on Linux, the read-only attribute on Windows).
void make_read_only(const std::wstring& path);

// Creates `path` with `size` bytes that take no disk space (a sparse file).
void make_sparse_file(const std::wstring& path, std::uint64_t size);

}  // namespace corvane::test
