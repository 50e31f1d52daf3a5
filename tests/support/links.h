#pragma once
#include <string>

// Links for the tests that need them.
namespace corvane::test {

// Makes `link` a link to `target` (a folder when `directory`): a symbolic link on Linux; on
// Windows a symbolic link, or for a folder a junction when no symbolic link can be made. False
// when neither the system nor the user can make one here; nothing is left behind then.
bool make_link(const std::wstring& link, const std::wstring& target, bool directory);

}  // namespace corvane::test
