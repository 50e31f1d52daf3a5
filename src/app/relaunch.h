#pragma once

// The uninstaller's way out of the folder it removes: a copy of itself in the temporary folder,
// which deletes its own file once the uninstall has succeeded.
namespace corvane {

// Copies the running executable to the temporary folder as "Corvane-Uninstall.exe" (replacing an
// older copy) and starts it with "/uninstall" and AppState::install_dir, in the temporary folder.
// True when the copy was started.
bool relaunch_from_temp();

// Removes the running executable's file once the process has ended; fire and forget.
void schedule_self_delete();

}  // namespace corvane
