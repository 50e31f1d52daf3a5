// The client folder as Windows reads its security back (GetNamedSecurityInfoW): a folder the
// install makes, or one of the user's own that was there, has a protected DACL with entries for the
// user, SYSTEM and Administrators only, which everything made inside inherits.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install/folder_access.h"
#include "os/text.h"
#include "support/temp_dir.h"
#include "support/wine_win32.h"

namespace corvane {
namespace {

struct Dacl {
  bool is_protected = false;
  std::vector<std::wstring> sids;  // of the allowing entries, as text ("S-1-5-18")
  std::vector<BYTE> inheritance;   // each entry's flags
  std::vector<ACCESS_MASK> masks;
};

Dacl read_dacl(const std::wstring& path) {
  Dacl out;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  const DWORD e = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                        &dacl, nullptr, &sd);
  EXPECT_EQ(e, static_cast<DWORD>(ERROR_SUCCESS)) << os::to_utf8(path);
  if (e != ERROR_SUCCESS) return out;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(sd, &control, &revision);
  out.is_protected = (control & SE_DACL_PROTECTED) != 0;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    EXPECT_EQ(header->AceType, ACCESS_ALLOWED_ACE_TYPE);
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    LPWSTR text = nullptr;
    if (ConvertSidToStringSidW(&allowed->SidStart, &text)) {
      out.sids.emplace_back(text);
      LocalFree(text);
    }
    out.inheritance.push_back(header->AceFlags);
    out.masks.push_back(allowed->Mask);
  }
  LocalFree(sd);
  return out;
}

std::wstring current_user() {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  BYTE buffer[256] = {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
  CloseHandle(token);
  LPWSTR text = nullptr;
  ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text);
  std::wstring sid = text ? text : L"";
  LocalFree(text);
  return sid;
}

constexpr wchar_t kSystem[] = L"S-1-5-18";
constexpr wchar_t kAdministrators[] = L"S-1-5-32-544";
// Accounts that must find no entry: Everyone, Authenticated Users, Users.
constexpr const wchar_t* kOthers[] = {L"S-1-1-0", L"S-1-5-11", L"S-1-5-32-545"};

// Wine keeps no DACL of a file: it answers with one made from the Unix mode bits (the owner,
// SYSTEM, and Everyone when others may read), never protected and without Administrators, and it
// passes nothing on to what is made inside. Under Wine only what that answer can show is checked:
// no entry for other accounts, and full access for the user.
void expect_no_other_account(const std::wstring& path) {
  SCOPED_TRACE(os::to_utf8(path));
  const Dacl dacl = read_dacl(path);
  for (const wchar_t* other : kOthers) {
    EXPECT_EQ(std::count(dacl.sids.begin(), dacl.sids.end(), other), 0) << os::to_utf8(other);
  }
  const auto user = std::find(dacl.sids.begin(), dacl.sids.end(), current_user());
  ASSERT_NE(user, dacl.sids.end());
  EXPECT_EQ(dacl.masks[static_cast<std::size_t>(user - dacl.sids.begin())] & FILE_ALL_ACCESS,
            static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
}

// The private folder's DACL: protected, full access for the user, SYSTEM and Administrators only;
// `inherited` for a file or folder inside, whose entries come from the folder.
void expect_private(const std::wstring& path, bool inherited) {
  if (test::running_under_wine()) return expect_no_other_account(path);
  SCOPED_TRACE(os::to_utf8(path));
  const Dacl dacl = read_dacl(path);
  EXPECT_EQ(dacl.is_protected, !inherited);
  std::vector<std::wstring> sorted = dacl.sids;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::wstring> expected = {current_user(), kSystem, kAdministrators};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(sorted, expected);
  for (const wchar_t* other : kOthers) {
    EXPECT_EQ(std::count(dacl.sids.begin(), dacl.sids.end(), other), 0) << os::to_utf8(other);
  }
  for (std::size_t i = 0; i < dacl.masks.size(); ++i) {
    EXPECT_EQ(dacl.masks[i] & FILE_ALL_ACCESS, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
    if (inherited) {
      EXPECT_NE(dacl.inheritance[i] & INHERITED_ACE, 0);
    } else {
      EXPECT_EQ(dacl.inheritance[i] & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    }
  }
}

TEST(ClientFolderWin32, AFolderTheInstallMakesIsTheUsersSystemsAndAdministratorsOnly) {
  test::TempDir root;
  const std::wstring client = root / L"Games\\Corvane";
  ASSERT_TRUE(ensure_client_folder(client));
  expect_private(client, false);
  if (test::running_under_wine()) return;  // Wine passes no entry on (see expect_no_other_account)
  // Everything made inside later inherits the same entries and nothing else.
  ASSERT_TRUE(CreateDirectoryW((client + L"\\bin").c_str(), nullptr));
  test::write_text(client + L"\\bin\\core.dll", "library");
  expect_private(client + L"\\bin", true);
  expect_private(client + L"\\bin\\core.dll", true);
  // The folder above keeps what it had.
  EXPECT_FALSE(read_dacl(root / L"Games").is_protected);
}

TEST(ClientFolderWin32, AnExistingFolderOfTheUsersOwnBecomesPrivate) {
  if (test::running_under_wine()) {
    GTEST_SKIP() << "Wine keeps no DACL of a file; it turns a new one into Unix mode bits of its own, "
                    "which here still let others read";
  }
  test::TempDir root;
  const std::wstring client = root / L"Corvane";
  ASSERT_TRUE(CreateDirectoryW(client.c_str(), nullptr));
  ASSERT_FALSE(read_dacl(client).is_protected);
  ASSERT_TRUE(ensure_client_folder(client));
  expect_private(client, false);
}

}  // namespace
}  // namespace corvane
