#pragma once
#include <string>

// Known folders of the user and the machine. On Linux: Desktop is the XDG desktop folder
// (user-dirs.dirs, else $HOME/Desktop), Programs is $XDG_DATA_HOME/applications, ProgramData is the
// first folder of $XDG_DATA_DIRS (default /usr/local/share), Profile is $HOME, LocalAppData is
// $XDG_DATA_HOME (default $HOME/.local/share). On Windows LocalAppData is FOLDERID_LocalAppData:
// the user's own folder for application data, where only that user creates files.
namespace corvane::os {

enum class KnownFolder { Desktop, Programs, ProgramData, Profile, LocalAppData };

// The folder's path without a trailing separator, or empty when it cannot be resolved.
std::wstring known_folder_path(KnownFolder folder);

}  // namespace corvane::os
