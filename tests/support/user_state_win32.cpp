#include <windows.h>
#include <shlobj.h>

#include "support/temp_dir.h"
#include "support/user_state.h"
#include "support/wine_win32.h"

namespace corvane::test {
namespace {

std::wstring csidl_folder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  return SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer)) ? buffer : L"";
}

struct FixedKey {
  HKEY root;
  const wchar_t* path;
};

const FixedKey kFixedKeys[] = {
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Rockstar Games\\Grand Theft Auto V"},
    {HKEY_CURRENT_USER, L"Software\\Valve\\Steam"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Valve\\Steam"},
};

}  // namespace

FixedUserState::FixedUserState() {
  if (!running_under_wine()) {
    refusal_ = "this test changes the user's programs list, game records and shortcuts; it runs only in a "
               "throwaway Wine prefix";
    return;
  }
  clear();
}

FixedUserState::~FixedUserState() {
  if (refusal_.empty()) clear();
}

void FixedUserState::clear() const {
  for (const FixedKey& key : kFixedKeys) ::RegDeleteTreeW(key.root, key.path);
  remove_all(system_desktop_folder() + L"\\Corvane.lnk");
  remove_all(system_programs_folder() + L"\\Corvane.lnk");
  remove_all(system_program_data_folder() + L"\\Epic\\EpicGamesLauncher\\Data\\Manifests");
}

std::wstring system_desktop_folder() { return csidl_folder(CSIDL_DESKTOPDIRECTORY); }
std::wstring system_programs_folder() { return csidl_folder(CSIDL_PROGRAMS); }
std::wstring system_program_data_folder() { return csidl_folder(CSIDL_COMMON_APPDATA); }

}  // namespace corvane::test
