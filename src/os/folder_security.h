#pragma once
#include <string_view>

#include "os/error.h"

// Folders that only their user can use: the client folder, whose programs and libraries another
// account of the same computer must not be able to replace.
namespace corvane::os {

// Creates the one folder `path` (its parent must exist) so that nobody but the current user, the
// system and the administrators can use it or anything made in it later. Windows: a protected
// DACL (nothing inherited from the folders above) that gives full access to the user, SYSTEM and
// the Administrators group, inherited by every file and folder inside. Linux: mode 0700.
// kErrorAlreadyExists when something already has that name.
[[nodiscard]] ErrorCode create_private_directory(std::wstring_view path);

// Gives the existing folder `path` the same protection when the current user owns it. A folder of
// another owner is left as it is (kErrorAccessDenied), and so is a link (kErrorReparsePointEncountered)
// or anything that is no folder. On Windows the system passes the new inherited entries on to what
// the folder already holds.
[[nodiscard]] ErrorCode make_directory_private(std::wstring_view path);

}  // namespace corvane::os
