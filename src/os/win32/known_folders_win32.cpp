#include "os/known_folders.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace corvane::os {
namespace {

const KNOWNFOLDERID& id_of(KnownFolder folder) {
  switch (folder) {
    case KnownFolder::Desktop: return FOLDERID_Desktop;
    case KnownFolder::Programs: return FOLDERID_Programs;
    case KnownFolder::ProgramData: return FOLDERID_ProgramData;
    case KnownFolder::Profile: return FOLDERID_Profile;
    case KnownFolder::LocalAppData: return FOLDERID_LocalAppData;
  }
  return FOLDERID_Profile;
}

}  // namespace

std::wstring known_folder_path(KnownFolder folder) {
  PWSTR buffer = nullptr;
  const HRESULT hr = ::SHGetKnownFolderPath(id_of(folder), 0, nullptr, &buffer);
  std::wstring path = SUCCEEDED(hr) && buffer != nullptr ? std::wstring(buffer) : std::wstring();
  ::CoTaskMemFree(buffer);  // also when the call failed
  // A folder at a drive root ("D:\") keeps its separator, like every other trimmed path.
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

}  // namespace corvane::os
