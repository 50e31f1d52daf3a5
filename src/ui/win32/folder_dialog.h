#pragma once
#include <shobjidl.h>

#include <string>
#include <string_view>

#include "ui/win32/com_ptr.h"

// The system's folder dialog (IFileOpenDialog in folder mode). Window thread, in a single-threaded
// COM apartment.
namespace corvane::win32 {

// The options added to the dialog's own: folders only (FOS_PICKFOLDERS), file-system folders only
// (FOS_FORCEFILESYSTEM), and the chosen folder must exist (FOS_PATHMUSTEXIST).
inline constexpr FILEOPENDIALOGOPTIONS kFolderDialogOptions = FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST;

// A folder dialog titled `title` that opens at `start_folder` (an existing folder; the caller has
// already walked up to one), or where the system places it when that is empty or cannot be
// parsed. Null when the dialog object cannot be created.
ComPtr<IFileOpenDialog> make_folder_dialog(std::wstring_view title, std::wstring_view start_folder);

// Shows the dialog modally to `owner` and returns the chosen folder's file-system path; empty when
// the user cancels or anything fails.
std::wstring show_folder_dialog(IFileOpenDialog& dialog, HWND owner);

}  // namespace corvane::win32
