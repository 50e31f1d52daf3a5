#include "support/shell_link_win32.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "os/win32/win32_common.h"

namespace corvane::test {

std::optional<LoadedLink> load_shell_link(const std::wstring& path) {
  os::win32::ComRef<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put()))) {
    return std::nullopt;
  }
  os::win32::ComRef<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put())) || FAILED(file->Load(path.c_str(), STGM_READ))) {
    return std::nullopt;
  }
  LoadedLink loaded;
  wchar_t buffer[MAX_PATH] = {};
  if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH))) loaded.target_text = buffer;
  LPITEMIDLIST items = nullptr;
  if (SUCCEEDED(link->GetIDList(&items)) && items != nullptr) {
    if (::SHGetPathFromIDListW(items, buffer)) loaded.target = buffer;
    ::CoTaskMemFree(items);
  }
  if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH))) loaded.working_dir = buffer;
  if (SUCCEEDED(link->GetDescription(buffer, MAX_PATH))) loaded.description = buffer;
  if (SUCCEEDED(link->GetIconLocation(buffer, MAX_PATH, &loaded.icon_index))) loaded.icon = buffer;
  return loaded;
}

}  // namespace corvane::test
