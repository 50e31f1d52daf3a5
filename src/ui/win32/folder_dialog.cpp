#include "ui/win32/folder_dialog.h"

#include <shlobj.h>

namespace corvane::win32 {

ComPtr<IFileOpenDialog> make_folder_dialog(std::wstring_view title, std::wstring_view start_folder) {
  ComPtr<IFileOpenDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                              dialog.put_void())) ||
      !dialog) {
    return {};
  }
  FILEOPENDIALOGOPTIONS options = 0;
  if (SUCCEEDED(dialog->GetOptions(&options))) dialog->SetOptions(options | kFolderDialogOptions);
  const std::wstring ztitle(title);
  dialog->SetTitle(ztitle.c_str());
  if (!start_folder.empty()) {
    const std::wstring folder(start_folder);
    ComPtr<IShellItem> item;
    if (SUCCEEDED(SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_IShellItem, item.put_void())) && item) {
      dialog->SetFolder(item.get());
    }
  }
  return dialog;
}

std::wstring show_folder_dialog(IFileOpenDialog& dialog, HWND owner) {
  if (FAILED(dialog.Show(owner))) return {};  // includes the user's cancel
  ComPtr<IShellItem> item;
  if (FAILED(dialog.GetResult(item.put())) || !item) return {};
  CoTaskString path;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put())) || path.is_null()) return {};
  return path.c_str();
}

}  // namespace corvane::win32
