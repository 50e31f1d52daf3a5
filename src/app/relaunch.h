#pragma once
#include <string>
#include <vector>

// The uninstaller's way out of the folder it removes: a copy of itself in the temporary folder,
// which deletes its own file once the uninstall has succeeded.
namespace corvane {

// Copies the running executable to the temporary folder as a new file of its own,
// "Corvane-Uninstall-<8 hex digits>.exe", and starts it with "/uninstall",
// AppState::install_dir and `more_args`, in that folder. When the copy cannot be written or started there (a
// temporary folder mounted noexec), the same in the user's own "<LocalAppData>/Corvane-Setup".
// Copies of overlapping relaunches never share a name, so none deletes another's. Earlier copies
// of that name in the folder that no process runs (left by uninstalls the user did not confirm)
// are deleted first. True when a copy was started.
bool relaunch_from_temp(const std::vector<std::wstring>& more_args = {});

// Removes the running executable's file once the process has ended; fire and forget.
void schedule_self_delete();

}  // namespace corvane
