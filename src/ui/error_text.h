#pragma once
#include <string>
#include <string_view>

#include "install/run_report.h"
#include "update/update_run.h"

namespace corvane {

// The Russian text that the page shows for a failed update run, chosen by its status; the text
// for a busy or unwritable file names the file, and the latter the system error code.
std::wstring error_text_for(const UpdateResult& result);

// The texts for an install folder that is not used: the GTA V folder or a folder inside it, and a
// folder that holds files but no client. Both name the folder as given.
std::wstring game_folder_refusal_text(std::wstring_view folder);
std::wstring foreign_folder_refusal_text(std::wstring_view folder);
// The text for an uninstall asked to remove a client from the GTA V folder or a folder inside it.
std::wstring game_folder_uninstall_text(std::wstring_view folder);

// The text the user is shown for a failed install or uninstall run of the folder `folder`;
// `update` is the update run's result for RunError::Update.
std::wstring run_error_text(RunError error, std::wstring_view folder, const UpdateResult* update);

}  // namespace corvane
