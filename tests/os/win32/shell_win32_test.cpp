// Shell links read back by the shell itself, the thread's COM apartment, and the known folders.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <thread>

#include "os/fs.h"
#include "os/known_folders.h"
#include "os/shell.h"
#include "os/text.h"
#include "os/win32/win32_common.h"
#include "support/temp_dir.h"
#include "support/wine_win32.h"

namespace corvane::os {
namespace {

using win32::ComRef;

struct LoadedLink {
  std::wstring target;       // through the link's item list, as the shell opens it
  std::wstring target_text;  // the path text the link also stores
  std::wstring working_dir;
  std::wstring description;
  std::wstring icon;
  int icon_index = -1;
};

// Loads `path` with IShellLinkW + IPersistFile, as the shell does when the link is opened.
std::optional<LoadedLink> load_link(const std::wstring& path) {
  ComRef<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put()))) {
    return std::nullopt;
  }
  ComRef<IPersistFile> file;
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

TEST(ShellWin32, ALinkReadsBackItsTargetFolderDescriptionAndIcon) {
  ThreadApartment apartment;
  ASSERT_TRUE(apartment.initialized());
  test::TempDir dir;
  const std::wstring client = dir / L"\u0418\u0433\u0440\u044b & Co\\Corvane";
  test::make_dirs(client);
  test::write_text(client + L"\\Corvane.exe", "MZ");
  const std::wstring lnk = dir / L"Corvane.lnk";
  ASSERT_TRUE(save_shell_link(lnk, {client + L"\\Corvane.exe", client, L"Corvane", client + L"\\Corvane.exe"}));
  const auto loaded = load_link(lnk);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->target, client + L"\\Corvane.exe");
  // Wine keeps the path text of a link in the ANSI code page only ("????" for these letters);
  // Windows keeps it in UTF-16 as well.
  if (!test::running_under_wine()) {
    EXPECT_EQ(loaded->target_text, client + L"\\Corvane.exe");
  }
  EXPECT_EQ(loaded->working_dir, client);
  EXPECT_EQ(loaded->description, L"Corvane");
  EXPECT_EQ(loaded->icon, client + L"\\Corvane.exe");
  EXPECT_EQ(loaded->icon_index, 0);

  // Saved again in place: one file, the new contents.
  test::make_dirs(dir / L"two");
  ASSERT_TRUE(save_shell_link(lnk, {dir / L"two\\Corvane.exe", dir / L"two", L"Corvane", dir / L"two\\Corvane.exe"}));
  EXPECT_EQ(load_link(lnk)->working_dir, dir / L"two");
  std::vector<DirEntry> entries;
  ASSERT_TRUE(list_directory(dir.path(), entries));
  EXPECT_EQ(entries.size(), 3u);  // the link and the two folders

  EXPECT_FALSE(save_shell_link(L"", {L"C:\\x.exe", L"C:\\", L"Corvane", L"C:\\x.exe"}));
  EXPECT_FALSE(save_shell_link(dir / L"missing\\Corvane.lnk", {L"C:\\x.exe", L"C:\\", L"Corvane", L"C:\\x.exe"}));
}

TEST(ShellWin32, TheApartmentIsTheThreadsForAsLongAsItLives) {
  std::thread([] {
    {
      ThreadApartment apartment;
      ASSERT_TRUE(apartment.initialized());
      // Inside it the thread is a single-threaded apartment: asking again only counts up.
      EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
      ::CoUninitialize();
    }
    // Gone with the object: a new initialisation is a first one again.
    EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
      // A thread already in the multi-threaded apartment cannot have one; nothing is undone.
      ThreadApartment apartment;
      EXPECT_FALSE(apartment.initialized());
    }
    EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    ::CoUninitialize();
    ::CoUninitialize();
  }).join();
}

// The legacy folder call, as a second opinion on each known folder.
std::wstring csidl_path(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  return SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer)) ? buffer : L"";
}

TEST(ShellWin32, KnownFoldersAreTheUsersAndTheMachinesFolders) {
  const std::pair<KnownFolder, int> folders[] = {{KnownFolder::Desktop, CSIDL_DESKTOPDIRECTORY},
                                                 {KnownFolder::Programs, CSIDL_PROGRAMS},
                                                 {KnownFolder::ProgramData, CSIDL_COMMON_APPDATA},
                                                 {KnownFolder::Profile, CSIDL_PROFILE}};
  for (const auto& [folder, csidl] : folders) {
    const std::wstring path = known_folder_path(folder);
    ASSERT_FALSE(path.empty()) << csidl;
    EXPECT_NE(path.back(), L'\\');
    EXPECT_EQ(path, csidl_path(csidl));
    EXPECT_TRUE(file_info(path) && file_info(path)->is_directory) << to_utf8(path);
  }
  const std::wstring profile = known_folder_path(KnownFolder::Profile);
  EXPECT_TRUE(known_folder_path(KnownFolder::Desktop).starts_with(profile + L"\\"));
  EXPECT_TRUE(known_folder_path(KnownFolder::Programs).ends_with(L"\\Start Menu\\Programs"));
  EXPECT_EQ(default_install_parent(), L"C:\\");
}

}  // namespace
}  // namespace corvane::os
