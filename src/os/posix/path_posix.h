#pragma once
#include <string>
#include <string_view>

#include "os/text.h"

// The posix layer's one conversion of a wide path to the bytes the kernel takes.
namespace corvane::os::posix {

inline std::string native_path(std::wstring_view path) { return to_utf8(path); }

}  // namespace corvane::os::posix
