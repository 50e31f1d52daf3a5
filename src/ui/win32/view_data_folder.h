#pragma once
#include <string>
#include <vector>

// Where the view keeps its data. Started with "run as administrator" under another account's
// credentials, the setup runs as that account while the desktop belongs to the signed-in user,
// and the view's processes are denied the administrator's own profile folder; the view then
// needs a folder that both accounts may use.
namespace corvane::win32 {

// The security identifier ("S-1-5-21-...") of this process's user, and of the desktop's user
// (the user of the shell's process); empty when it cannot be read.
std::wstring process_user_sid();
std::wstring desktop_user_sid();

struct ViewDataFolder {
  std::wstring path;    // empty when no folder can be had
  bool shared = false;  // the folder for two accounts
};

// When the desktop's user is this process's user (or unknown): `local_app_data` + "\Corvane-Setup",
// the user's own. Otherwise `program_data` + "\Corvane-Setup\<desktop user's id>", made by
// make_shared_folder for the two accounts; empty (shared) when that fails.
ViewDataFolder choose_view_data_folder(const std::wstring& process_sid, const std::wstring& desktop_sid,
                                       const std::wstring& local_app_data, const std::wstring& program_data);

// The access of that folder in the system's descriptor language (SDDL): full control for `sids`,
// the system and the administrators, inherited below and not from above.
std::wstring shared_folder_access(const std::vector<std::wstring>& sids);

// Makes `folder` (and a missing parent) with full control for `sids`, the system and the
// administrators only, inherited below and not from above. A folder that is there already is
// used only when its owner is one of those; false otherwise, or when it cannot be made.
bool make_shared_folder(const std::wstring& folder, const std::vector<std::wstring>& sids);

}  // namespace corvane::win32
