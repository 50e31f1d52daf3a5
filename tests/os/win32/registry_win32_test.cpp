// Registry values as the system stores them, the 32-bit view, and removal of whole trees.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "os/registry.h"
#include "support/scratch_registry.h"

namespace corvane::os {
namespace {

struct RawValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

// The value exactly as stored: its type and its bytes. Nothing when it cannot be read.
std::optional<RawValue> raw_value(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view = 0) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return std::nullopt;
  RawValue value;
  DWORD size = 0;
  LSTATUS status = ::RegQueryValueExW(opened, name, nullptr, &value.type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    value.bytes.resize(size);
    status = ::RegQueryValueExW(opened, name, nullptr, &value.type, value.bytes.data(), &size);
  }
  ::RegCloseKey(opened);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return value;
}

bool key_exists(HKEY root, const std::wstring& key) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  ::RegCloseKey(opened);
  return true;
}

class RegistryWin32 : public ::testing::Test {
 protected:
  test::ScratchRegistry registry_;
  const std::wstring key_ = registry_.key(L"Uninstall\\Corvane");
};

TEST_F(RegistryWin32, StringsKeepTheirNulAndDwordsTheirFourBytes) {
  RegistryKey key;
  ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, key_));
  ASSERT_TRUE(key.set_string(L"InstallLocation", L"D:\\Games\\\u0418\u0433\u0440\u044b"));
  ASSERT_TRUE(key.set_string(L"Empty", L""));
  ASSERT_TRUE(key.set_dword(L"EstimatedSize", 0xA1B2C3D4u));
  ASSERT_TRUE(key.set_expand_string(L"Expand", L"%TEMP%"));
  key.close();

  const auto text = raw_value(HKEY_CURRENT_USER, key_, L"InstallLocation");
  ASSERT_TRUE(text);
  EXPECT_EQ(text->type, static_cast<DWORD>(REG_SZ));
  const std::wstring expected = L"D:\\Games\\\u0418\u0433\u0440\u044b";
  ASSERT_EQ(text->bytes.size(), (expected.size() + 1) * 2);
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(text->bytes.data()), expected.size() + 1),
            expected + L'\0');

  const auto empty = raw_value(HKEY_CURRENT_USER, key_, L"Empty");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(empty->bytes, (std::vector<BYTE>{0, 0}));

  const auto number = raw_value(HKEY_CURRENT_USER, key_, L"EstimatedSize");
  ASSERT_TRUE(number);
  EXPECT_EQ(number->type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(number->bytes, (std::vector<BYTE>{0xD4, 0xC3, 0xB2, 0xA1}));

  const auto expand = raw_value(HKEY_CURRENT_USER, key_, L"Expand");
  ASSERT_TRUE(expand);
  EXPECT_EQ(expand->type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(read_registry_string(RegistryRoot::CurrentUser, key_, L"Expand"), L"");
}

TEST_F(RegistryWin32, OnlyPlainStringsAndDwordsAreRead) {
  HKEY opened = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr),
            ERROR_SUCCESS);
  const wchar_t multi[] = L"a\0b\0";
  ::RegSetValueExW(opened, L"Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi);
  const BYTE four[] = {1, 0, 0, 0};
  ::RegSetValueExW(opened, L"Binary", 0, REG_BINARY, four, sizeof four);
  // A string stored without its NUL, as some programs write them, still reads whole.
  const wchar_t bare[] = {L'C', L':', L'\\', L'x'};
  ::RegSetValueExW(opened, L"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(bare), sizeof bare);
  ::RegCloseKey(opened);
  EXPECT_EQ(read_registry_string(RegistryRoot::CurrentUser, key_, L"Multi"), L"");
  EXPECT_FALSE(read_registry_dword(RegistryRoot::CurrentUser, key_, L"Binary"));
  EXPECT_EQ(read_registry_string(RegistryRoot::CurrentUser, key_, L"Bare"), L"C:\\x");
}

TEST_F(RegistryWin32, TheWow6432NodePathReadsWhatA32BitProgramWrote) {
  // As the Rockstar Games launcher, a 32-bit program, records its folder.
  const std::wstring key32 = registry_.key(L"Rockstar Games\\Grand Theft Auto V");
  HKEY opened = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key32.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                              nullptr, &opened, nullptr),
            ERROR_SUCCESS);
  const wchar_t folder[] = L"C:\\Games\\GTA V";
  ASSERT_EQ(::RegSetValueExW(opened, L"InstallFolder", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder), sizeof folder),
            ERROR_SUCCESS);
  ::RegCloseKey(opened);
  const std::wstring through_node = L"SOFTWARE\\WOW6432Node\\" + key32.substr(key32.find(L'\\') + 1);
  EXPECT_EQ(read_registry_string(RegistryRoot::LocalMachine, through_node, L"InstallFolder"), L"C:\\Games\\GTA V");
  // The 64-bit view itself holds nothing there.
  EXPECT_EQ(read_registry_string(RegistryRoot::LocalMachine, key32, L"InstallFolder"), L"");
  EXPECT_TRUE(delete_registry_tree(RegistryRoot::LocalMachine, through_node));
  EXPECT_FALSE(raw_value(HKEY_LOCAL_MACHINE, key32, L"InstallFolder", KEY_WOW64_32KEY));
  // The test's own key in the 32-bit view goes as well.
  (void)delete_registry_tree(RegistryRoot::LocalMachine, through_node.substr(0, through_node.find(L"\\Rockstar Games")));
}

TEST_F(RegistryWin32, DeleteTreeTakesSubkeysAndTheKeyButNotItsParent) {
  RegistryKey key;
  ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, key_ + L"\\A\\B"));
  ASSERT_TRUE(key.set_dword(L"Deep", 1));
  ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, registry_.key(L"Uninstall\\Other")));
  key.close();
  EXPECT_TRUE(delete_registry_tree(RegistryRoot::CurrentUser, key_));
  EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, key_));
  EXPECT_TRUE(key_exists(HKEY_CURRENT_USER, registry_.key(L"Uninstall\\Other")));
  EXPECT_FALSE(delete_registry_tree(RegistryRoot::CurrentUser, key_));
}

TEST_F(RegistryWin32, NoKeyWithoutAPath) {
  RegistryKey key;
  EXPECT_FALSE(key.create(RegistryRoot::CurrentUser, L""));
  EXPECT_FALSE(key.is_open());
  EXPECT_FALSE(key.set_string(L"DisplayName", L"Corvane"));
  // An empty path would empty the whole root.
  EXPECT_FALSE(delete_registry_tree(RegistryRoot::CurrentUser, L""));
  EXPECT_TRUE(key_exists(HKEY_CURRENT_USER, L"Software"));
  EXPECT_FALSE(key.create(RegistryRoot::CurrentUser, key_ + std::wstring(1, L'\0') + L"x"));
}

}  // namespace
}  // namespace corvane::os
