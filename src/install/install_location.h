#pragma once
#include <string>

// Where install mode proposes to install: the client that the programs list knows, else the
// platform's default folder.
namespace corvane {

// "InstallLocation" of the programs-list entry, trimmed; empty when there is none.
std::wstring registered_install_location();

// registered_install_location() when it is not empty (whether that folder still exists plays
// no part), else "Corvane" in the default parent ("C:\Corvane" on Windows, $HOME/Corvane on
// Linux); empty only when neither can be resolved.
std::wstring default_install_dir();

}  // namespace corvane
