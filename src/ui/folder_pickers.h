#pragma once
#include <string>
#include <string_view>

// The folder pickers behind the page's "browseInstall" and "browseGta"; window thread only.
namespace corvane {

class UiHost;

// The folder a dialog opens at for `start`: `start` trimmed, or its nearest existing ancestor;
// empty when none of them exists.
std::wstring picker_start_folder(std::wstring_view start);

// The system's folder dialog owned by `owner`'s window, opening at picker_start_folder(start).
// The chosen folder, or empty on cancel or failure.
std::wstring pick_folder(UiHost& owner, std::wstring_view title, std::wstring_view start);

// The install folder for a picked folder: the folder itself when it is already named "Corvane"
// (any letter case), else its subfolder "Corvane".
std::wstring install_dir_from_pick(std::wstring_view picked);

// Why `folder` cannot be the install or game folder, in the words the page shows; empty when it
// can. A folder has to travel to the page and back unchanged: the page's commands separate their
// fields with '|', so a folder holding one would be cut in two, and a name byte that is not UTF-8
// (a lone surrogate here) comes back from the page as U+FFFD, which therefore is refused as well.
std::wstring folder_refusal(std::wstring_view folder);

// WM_BROWSE_INSTALL: asks for the install folder, stores it in AppState and posts "installDir".
// Nothing changes and nothing is posted when the user cancels; a folder that folder_refusal
// refuses changes nothing either and is answered with an "error" message.
void browse_install_folder();

// WM_BROWSE_GAME: asks for the GTA V folder, stores it (holding the game or not) and posts
// "gtaDir" with its validity. Nothing changes when the user cancels; a refused folder as above.
void browse_game_folder();

}  // namespace corvane
