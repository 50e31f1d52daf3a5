#include "install/programs_entry.h"

#include <gtest/gtest.h>

#include "base/paths.h"
#include "install_env.h"
#include "os/registry.h"
#include "os/text.h"

namespace corvane {
namespace {

std::wstring value(const wchar_t* name) {
  return os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, name);
}
std::optional<std::uint32_t> dword(const wchar_t* name) {
  return os::read_registry_dword(os::RegistryRoot::CurrentUser, kProgramsKey, name);
}

class ProgramsEntry : public test::InstallEnv {
 protected:
  InstallRequest request_{root_ / L"Games/Corvane", L"", true, true};
};

TEST_F(ProgramsEntry, WritesTheNineValuesAndKeepsForeignOnes) {
  test::make_dirs(request_.install_dir + L"/bin");
  test::write_text(request_.install_dir + L"/bin/a.dll", std::string(1500, 'a'));
  test::write_text(request_.install_dir + L"/Corvane.exe", std::string(600, 'b'));
  {
    os::RegistryKey key;
    ASSERT_TRUE(key.create(os::RegistryRoot::CurrentUser, kProgramsKey));
    ASSERT_TRUE(key.set_string(L"Foreign", L"kept"));
    ASSERT_TRUE(key.set_string(L"DisplayVersion", L"0.9"));
  }
  ASSERT_TRUE(write_programs_entry(request_, "1.2.\xd0\x91"));  // a Cyrillic letter in UTF-8
  const std::wstring dir = request_.install_dir;
  EXPECT_EQ(value(L"DisplayName"), L"Corvane");
  EXPECT_EQ(value(L"DisplayVersion"), L"1.2.\u0411");
  EXPECT_EQ(value(L"Publisher"), L"Corvane");
  EXPECT_EQ(value(L"DisplayIcon"), L"\"" + join_path(dir, L"Corvane.exe") + L"\",0");  // the first icon
  EXPECT_EQ(value(L"InstallLocation"), dir);
  EXPECT_EQ(value(L"UninstallString"), L"\"" + join_path(dir, L"uninstall.exe") + L"\" /uninstall");
  EXPECT_EQ(dword(L"NoModify"), 1u);
  EXPECT_EQ(dword(L"NoRepair"), 1u);
  EXPECT_EQ(dword(L"EstimatedSize"), 2u);  // 2100 bytes
  EXPECT_EQ(value(L"Foreign"), L"kept");
}

TEST_F(ProgramsEntry, SizeSkipsLinksSoThatLoopsEnd) {
  const std::wstring dir = request_.install_dir;
  test::make_dirs(dir + L"/bin/sub");
  test::write_text(dir + L"/bin/sub/x", std::string(1023, 'x'));
  test::make_dirs(root_ / L"outside");
  test::write_text(root_ / L"outside/big", std::string(5000, 'o'));
  if (!test::make_link(join_path(dir, L"bin/loop"), dir, /*directory=*/true) ||
      !test::make_link(join_path(dir, L"bin/outside"), root_ / L"outside", /*directory=*/true)) {
    GTEST_SKIP() << "this system makes neither a directory symbolic link nor a junction";
  }
  (void)test::make_link(join_path(dir, L"link"), join_path(dir, L"bin/sub/x"), false);
  EXPECT_EQ(folder_size(dir), 1023u);
  EXPECT_EQ(folder_size(root_ / L"missing"), 0u);
  ASSERT_TRUE(write_programs_entry(request_, "1.0"));
  EXPECT_EQ(dword(L"EstimatedSize"), 0u);
}

TEST_F(ProgramsEntry, SizeKeepsAll64BitsUntilTheCap) {
  const std::wstring dir = request_.install_dir;
  test::make_dirs(dir + L"/bin");
  test::write_text(dir + L"/bin/x", std::string(1023, 'x'));
  test::make_sparse_file(dir + L"/big.pak", 5ull << 30);  // 5 GiB without the disk space
  ASSERT_TRUE(write_programs_entry(request_, "1.0"));
  EXPECT_EQ(dword(L"EstimatedSize"), 5u << 20);
  test::make_sparse_file(dir + L"/big.pak", 4ull << 40);  // 4 TiB + 1023 bytes: must not wrap to 0
  ASSERT_TRUE(write_programs_entry(request_, "1.0"));
  EXPECT_EQ(dword(L"EstimatedSize"), 0xFFFFFFFFu);
  EXPECT_EQ(estimated_size_kib((4ull << 40) - 1025), 0xFFFFFFFEu);
}

}  // namespace
}  // namespace corvane
