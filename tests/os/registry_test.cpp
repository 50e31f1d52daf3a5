#include "os/registry.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace corvane::os {
namespace {

constexpr wchar_t kKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane";

class Registry : public ::testing::Test {
 protected:
  test::TempDir home_;
  test::ScopedEnv data_home_{"XDG_DATA_HOME", home_.utf8()};
};

TEST_F(Registry, StringsAndDwordsRoundTripWithCaseInsensitiveNames) {
  RegistryKey key;
  ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, kKey));
  ASSERT_TRUE(key.set_string(L"InstallLocation", L"D:\\Games\\Corvane\ttab\nline \u0416"));
  ASSERT_TRUE(key.set_dword(L"EstimatedSize", 4294967295u));
  key.close();
  EXPECT_EQ(read_registry_string(RegistryRoot::CurrentUser, L"software\\MICROSOFT\\windows\\currentversion\\uninstall\\corvane",
                                 L"installlocation"),
            L"D:\\Games\\Corvane\ttab\nline \u0416");
  EXPECT_EQ(read_registry_dword(RegistryRoot::CurrentUser, kKey, L"EstimatedSize"), 4294967295u);
  // The other root is another store.
  EXPECT_EQ(read_registry_string(RegistryRoot::LocalMachine, kKey, L"InstallLocation"), L"");
}

TEST_F(Registry, ValuesOfAnotherTypeReadAsEmpty) {
  RegistryKey key;
  ASSERT_TRUE(key.create(RegistryRoot::LocalMachine, L"SOFTWARE\\WOW6432Node\\Valve\\Steam"));
  ASSERT_TRUE(key.set_expand_string(L"InstallPath", L"C:\\Steam"));
  ASSERT_TRUE(key.set_dword(L"Number", 7));
  ASSERT_TRUE(key.set_string(L"Empty", L""));
  ASSERT_TRUE(key.set_string(L"Cut", std::wstring(L"ab\0cd", 5)));
  EXPECT_EQ(read_registry_string(RegistryRoot::LocalMachine, L"SOFTWARE\\WOW6432Node\\Valve\\Steam", L"InstallPath"), L"");
  EXPECT_EQ(read_registry_string(RegistryRoot::LocalMachine, L"SOFTWARE\\WOW6432Node\\Valve\\Steam", L"Number"), L"");
  EXPECT_EQ(read_registry_string(RegistryRoot::LocalMachine, L"SOFTWARE\\WOW6432Node\\Valve\\Steam", L"Empty"), L"");
  EXPECT_EQ(read_registry_string(RegistryRoot::LocalMachine, L"SOFTWARE\\WOW6432Node\\Valve\\Steam", L"Cut"), L"ab");
  EXPECT_FALSE(read_registry_dword(RegistryRoot::LocalMachine, L"SOFTWARE\\WOW6432Node\\Valve\\Steam", L"InstallPath"));
}

TEST_F(Registry, OverwritingKeepsOtherValuesAndDeleteTreeRemovesTheKey) {
  RegistryKey key;
  ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, kKey));
  ASSERT_TRUE(key.set_string(L"Foreign", L"kept"));
  ASSERT_TRUE(key.set_string(L"DisplayVersion", L"1.0"));
  ASSERT_TRUE(key.set_string(L"displayversion", L"2.0"));
  key.close();
  EXPECT_EQ(read_registry_string(RegistryRoot::CurrentUser, kKey, L"DisplayVersion"), L"2.0");
  EXPECT_EQ(read_registry_string(RegistryRoot::CurrentUser, kKey, L"Foreign"), L"kept");
  ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, std::wstring(kKey) + L"\\Sub"));
  key.close();
  EXPECT_TRUE(delete_registry_tree(RegistryRoot::CurrentUser, kKey));
  EXPECT_EQ(read_registry_string(RegistryRoot::CurrentUser, kKey, L"Foreign"), L"");
  EXPECT_FALSE(delete_registry_tree(RegistryRoot::CurrentUser, kKey));
}

TEST_F(Registry, AFailingStoreWriteFailsTheValue) {
  RegistryKey key;
  ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, kKey));
  test::ScopedFsFault fault([](FsOp op, std::wstring_view, std::wstring_view) {
    return op == FsOp::Write || op == FsOp::OpenForWrite ? kErrorAccessDenied : kErrorSuccess;
  });
  EXPECT_FALSE(key.set_string(L"DisplayName", L"Corvane"));
}

}  // namespace
}  // namespace corvane::os
