// The system's folder dialog under Wine with a display (Xvfb): created in folder mode with the
// setup's options, titled and opening where it is told, and a cancelled dialog gives nothing.
#include "ui/win32/folder_dialog.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "ui/folder_pickers.h"
#include "ui/win32/win32_ui_host.h"

namespace corvane::win32 {
namespace {

namespace fs = std::filesystem;

// Records the folder the shown dialog is in when it first reports one, then closes the dialog as
// a cancel would.
class CloseOnFirstFolder final : public IFileDialogEvents {
 public:
  std::wstring folder;
  int folder_changes = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IFileDialogEvents)) {
      *out = static_cast<IFileDialogEvents*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the test's stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnFileOk(IFileDialog*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnFolderChanging(IFileDialog*, IShellItem*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnFolderChange(IFileDialog* dialog) override {
    if (folder_changes++ == 0) {
      folder = folder_of(dialog);
      dialog->Close(HRESULT_FROM_WIN32(ERROR_CANCELLED));
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnSelectionChange(IFileDialog*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShareViolation(IFileDialog*, IShellItem*, FDE_SHAREVIOLATION_RESPONSE*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnTypeChange(IFileDialog*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnOverwrite(IFileDialog*, IShellItem*, FDE_OVERWRITE_RESPONSE*) override { return S_OK; }

  static std::wstring folder_of(IFileDialog* dialog) {
    ComPtr<IShellItem> item;
    if (FAILED(dialog->GetFolder(item.put())) || !item) return {};
    CoTaskString path;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put()))) return {};
    return path.c_str();
  }
};

class FolderDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    start = fs::path(temp) / (L"corvane-dialog-" + std::to_wstring(GetCurrentProcessId())) / L"Игры";
    fs::create_directories(start);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(start.parent_path(), ignored);
    CoUninitialize();
  }
  fs::path start;
};

bool same_folder(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

TEST_F(FolderDialogTest, FolderModeWithTheSetupsOptionsOpeningAtTheStartFolder) {
  ComPtr<IFileOpenDialog> dialog = make_folder_dialog(L"Куда установить клиент", start.wstring());
  ASSERT_TRUE(dialog);
  FILEOPENDIALOGOPTIONS options = 0;
  ASSERT_EQ(dialog->GetOptions(&options), S_OK);
  EXPECT_EQ(options & kFolderDialogOptions, kFolderDialogOptions);
  EXPECT_TRUE(options & FOS_PICKFOLDERS);
  EXPECT_TRUE(same_folder(CloseOnFirstFolder::folder_of(dialog.get()), start.wstring()));

  // Shown: it opens in that folder; closed without a choice, it gives nothing.
  CloseOnFirstFolder events;
  DWORD cookie = 0;
  ASSERT_EQ(dialog->Advise(&events, &cookie), S_OK);
  EXPECT_EQ(show_folder_dialog(*dialog.get(), nullptr), L"");
  dialog->Unadvise(cookie);
  EXPECT_GE(events.folder_changes, 1);
  EXPECT_TRUE(same_folder(events.folder, start.wstring())) << events.folder.size();
}

TEST_F(FolderDialogTest, WithoutAStartFolderTheSystemChoosesWhereItOpens) {
  ComPtr<IFileOpenDialog> dialog = make_folder_dialog(L"Папка с GTA V (где лежит GTA5.exe)", L"");
  ASSERT_TRUE(dialog);
  CloseOnFirstFolder events;
  DWORD cookie = 0;
  ASSERT_EQ(dialog->Advise(&events, &cookie), S_OK);
  EXPECT_EQ(show_folder_dialog(*dialog.get(), nullptr), L"");
  dialog->Unadvise(cookie);
  EXPECT_GE(events.folder_changes, 1);
  EXPECT_FALSE(events.folder.empty());
  EXPECT_FALSE(same_folder(events.folder, start.wstring()));
}

TEST_F(FolderDialogTest, PickFolderOpensAtTheNearestExistingAncestorAndACancelGivesNothing) {
  constexpr wchar_t kTitle[] = L"Куда установить клиент";
  const std::wstring wanted = (start / L"Corvane" / L"deeper").wstring() + L"\\";  // not there yet
  const std::wstring opens_at = picker_start_folder(wanted);
  EXPECT_TRUE(same_folder(opens_at, start.wstring()));
  ComPtr<IFileOpenDialog> dialog = make_folder_dialog(kTitle, opens_at);
  ASSERT_TRUE(dialog);
  EXPECT_TRUE(same_folder(CloseOnFirstFolder::folder_of(dialog.get()), start.wstring()));

  // The host's own dialog, as the page's "browseInstall" shows it, cancelled by the user.
  Win32UiHost host(GetModuleHandleW(nullptr), SW_SHOWNORMAL, HostHandlers{}, nullptr);
  ASSERT_TRUE(host.create_window({0, 0, 400, 300}));
  bool seen = false;
  std::thread user([&] {
    for (int i = 0; i < 300 && !seen; ++i) {
      if (HWND shown = FindWindowW(nullptr, kTitle)) {
        seen = true;
        PostMessageW(shown, WM_COMMAND, IDCANCEL, 0);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  EXPECT_EQ(pick_folder(host, kTitle, wanted), L"");
  user.join();
  EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace corvane::win32
