#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "install/run_report.h"

// Removing an installed client: its files, its shortcuts and its programs-list entry.
namespace corvane {

// The uninstall worker's job: remove_client, then on success "uninstalled" to `report`, else one
// failure. True when the client was removed. Worker thread (or, without a window, the main thread).
bool run_uninstall(std::wstring_view client_dir, bool remove_resources, RunReport& report);

// Removes the client's own names from `client_dir` (every one is tried, also after a failure;
// "client_resources" only with `remove_resources`), then both shortcuts; when every name is gone
// also the programs-list entry and the folder itself if nothing else is left in it. True when
// every name was removed (names that never existed count as removed). An empty folder name
// removes nothing and gives false, and so does the GTA V folder or a folder inside it. `kept`, when
// given, receives the names of what the folder still holds that is none of the client's.
bool remove_client(std::wstring_view client_dir, bool remove_resources, std::vector<std::wstring>* kept = nullptr);

// Removes a file, a link or a folder with everything below it. Each object is opened once, as
// itself, and removed through what was opened; a folder's entries are reached relative to the
// opened folder (os::HeldEntry), so a link, or another folder, put in a name's place during the
// run is never entered. A link is removed as a link and its target is never touched; read-only
// files, and folders closed to their owner, are opened first. A mount point is never entered: it stays with everything on the file system mounted
// there, and counts as not removed. Every entry is tried. True when nothing is left at `path`
// (also when nothing was there).
bool delete_tree(std::wstring_view path);

}  // namespace corvane
