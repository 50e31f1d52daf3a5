#include "os/registry.h"

#include <gtest/gtest.h>

#include "support/scratch_registry.h"

namespace corvane::os {
namespace {

// The programs-list key's shape, below the test's own key.
class Registry : public ::testing::Test {
 protected:
  test::ScratchRegistry registry_;
  const std::wstring key_ = registry_.key(L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane");
  const std::wstring steam_ = registry_.key(L"WOW6432Node\\Valve\\Steam");
};

// The same key path with every letter's case flipped.
std::wstring flip_case(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') {
      c = static_cast<wchar_t>(c - L'a' + L'A');
    } else if (c >= L'A' && c <= L'Z') {
      c = static_cast<wchar_t>(c - L'A' + L'a');
    }
  }
  return text;
}

TEST_F(Registry, StringsAndDwordsRoundTripWithCaseInsensitiveNames) {
  RegistryKey key;
  ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, key_));
  ASSERT_TRUE(key.set_string(L"InstallLocation", L"D:\\Games\\Corvane\ttab\nline \u0416"));
  ASSERT_TRUE(key.set_dword(L"EstimatedSize", 4294967295u));
  key.close();
  EXPECT_EQ(read_registry_string(RegistryRoot::CurrentUser, flip_case(key_), L"installlocation"),
            L"D:\\Games\\Corvane\ttab\nline \u0416");
  EXPECT_EQ(read_registry_dword(RegistryRoot::CurrentUser, key_, L"EstimatedSize"), 4294967295u);
  // The other root is another store.
  EXPECT_EQ(read_registry_string(RegistryRoot::LocalMachine, key_, L"InstallLocation"), L"");
}

TEST_F(Registry, ValuesOfAnotherTypeReadAsEmpty) {
  RegistryKey key;
  ASSERT_TRUE(key.create(RegistryRoot::LocalMachine, steam_));
  ASSERT_TRUE(key.set_expand_string(L"InstallPath", L"C:\\Steam"));
  ASSERT_TRUE(key.set_dword(L"Number", 7));
  ASSERT_TRUE(key.set_string(L"Empty", L""));
  ASSERT_TRUE(key.set_string(L"Cut", std::wstring(L"ab\0cd", 5)));
  EXPECT_EQ(read_registry_string(RegistryRoot::LocalMachine, steam_, L"InstallPath"), L"");
  EXPECT_EQ(read_registry_string(RegistryRoot::LocalMachine, steam_, L"Number"), L"");
  EXPECT_EQ(read_registry_string(RegistryRoot::LocalMachine, steam_, L"Empty"), L"");
  EXPECT_EQ(read_registry_string(RegistryRoot::LocalMachine, steam_, L"Cut"), L"ab");
  EXPECT_EQ(read_registry_string(RegistryRoot::LocalMachine, steam_, L"Missing"), L"");
  EXPECT_FALSE(read_registry_dword(RegistryRoot::LocalMachine, steam_, L"InstallPath"));
  EXPECT_EQ(read_registry_dword(RegistryRoot::LocalMachine, steam_, L"Number"), 7u);
}

TEST_F(Registry, OverwritingKeepsOtherValuesAndDeleteTreeRemovesTheKey) {
  RegistryKey key;
  ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, key_));
  ASSERT_TRUE(key.set_string(L"Foreign", L"kept"));
  ASSERT_TRUE(key.set_string(L"DisplayVersion", L"1.0"));
  ASSERT_TRUE(key.set_string(L"displayversion", L"2.0"));
  key.close();
  EXPECT_EQ(read_registry_string(RegistryRoot::CurrentUser, key_, L"DisplayVersion"), L"2.0");
  EXPECT_EQ(read_registry_string(RegistryRoot::CurrentUser, key_, L"Foreign"), L"kept");
  ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, key_ + L"\\Sub"));
  ASSERT_TRUE(key.set_dword(L"Deep", 1));
  key.close();
  EXPECT_TRUE(delete_registry_tree(RegistryRoot::CurrentUser, key_));
  EXPECT_EQ(read_registry_string(RegistryRoot::CurrentUser, key_, L"Foreign"), L"");
  EXPECT_FALSE(read_registry_dword(RegistryRoot::CurrentUser, key_ + L"\\Sub", L"Deep"));
  EXPECT_FALSE(delete_registry_tree(RegistryRoot::CurrentUser, key_));
}

}  // namespace
}  // namespace corvane::os
