#include "os/shell.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "os/win32/win32_common.h"

namespace corvane::os {

ThreadApartment::ThreadApartment() {
  // S_FALSE (already initialised on this thread) also needs its CoUninitialize.
  initialized_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

ThreadApartment::~ThreadApartment() {
  if (initialized_) ::CoUninitialize();
}

bool save_shell_link(std::wstring_view path, const ShellLink& link) {
  const auto file = win32::checked_text(path);
  const auto target = win32::checked_text(link.target);
  const auto working_dir = win32::checked_text(link.working_dir);
  const auto description = win32::checked_text(link.description);
  const auto icon = win32::checked_text(link.icon);
  if (path.empty() || !file || !target || !working_dir || !description || !icon) return false;

  win32::ComRef<IShellLinkW> shell_link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shell_link.put()))) {
    return false;
  }
  // What the link holds; a field the shell refuses shows when the link is saved or used, so these
  // results are not looked at.
  (void)shell_link->SetPath(target->c_str());
  (void)shell_link->SetWorkingDirectory(working_dir->c_str());
  (void)shell_link->SetDescription(description->c_str());
  (void)shell_link->SetIconLocation(icon->c_str(), 0);

  win32::ComRef<IPersistFile> persist;
  if (FAILED(shell_link->QueryInterface(IID_IPersistFile, persist.put()))) return false;
  return SUCCEEDED(persist->Save(file->c_str(), TRUE));
}

std::wstring default_install_parent() { return L"C:\\"; }

}  // namespace corvane::os
