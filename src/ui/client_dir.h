#pragma once
#include <string_view>

namespace corvane {

// A client folder holds the client or its uninstaller: not empty, and folder + sep +
// "Corvane.exe" or folder + sep + "uninstall.exe" exists.
bool is_client_dir(std::wstring_view folder);

}  // namespace corvane
