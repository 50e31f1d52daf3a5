#pragma once
#include <string>
#include <string_view>

#include "install/install_request.h"

// The client's shortcuts: one on the user's desktop and one directly in the user's Programs
// (Start menu) folder, both named "Corvane" with the platform's link suffix.
namespace corvane {

// The shortcut paths; empty when the known folder cannot be resolved, in which case no shortcut
// is made or removed there (rather than one at the root of the drive).
std::wstring desktop_shortcut_path();
std::wstring start_menu_shortcut_path();

// Writes the shortcut at `shortcut_path` to `target` (also its icon), starting in the request's
// install folder, described as "Corvane"; an existing shortcut of that name is replaced. Creates
// the shortcut's folder when it is missing. False when the shortcut could not be written.
bool create_shortcut(std::wstring_view shortcut_path, std::wstring_view target, const InstallRequest& request);

}  // namespace corvane
