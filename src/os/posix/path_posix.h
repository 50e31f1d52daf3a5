#pragma once
#include <string>
#include <string_view>

#include "os/text.h"

// The posix layer's one conversion between wide paths and the bytes the kernel takes and gives.
// Both directions are lossless: a name that is not valid UTF-8 comes back byte for byte.
namespace corvane::os::posix {

inline std::string native_path(std::wstring_view path) { return to_utf8_lossless(path); }

// A name or path from the kernel, the environment or the command line, as a wide path.
inline std::wstring wide_path(std::string_view bytes) { return from_utf8_lossless(bytes); }

}  // namespace corvane::os::posix
