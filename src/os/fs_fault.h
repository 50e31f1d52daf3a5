#pragma once
#include <string_view>

#include "os/fs.h"

// For the platform layer: asks the installed fault hook (see set_fs_fault_hook) about one call.
namespace corvane::os {

ErrorCode injected_fs_fault(FsOp op, std::wstring_view path, std::wstring_view other = {});

}  // namespace corvane::os
