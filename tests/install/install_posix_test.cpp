// Install behaviour that only Linux can show: failures of the registry store, which the fault
// seam of the file calls reaches (the Windows registry has no such seam), and a user without HOME.
#include <gtest/gtest.h>

#include "base/paths.h"
#include "install/install_location.h"
#include "install/install_run.h"
#include "install/programs_entry.h"
#include "install_env.h"
#include "os/registry.h"

namespace corvane {
namespace {

class InstallPosix : public test::InstallEnv {
 protected:
  InstallRequest request_{root_ / L"Games/Corvane", L"", true, true};
};

std::wstring value(const wchar_t* name) {
  return os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, name);
}
std::optional<std::uint32_t> dword(const wchar_t* name) {
  return os::read_registry_dword(os::RegistryRoot::CurrentUser, kProgramsKey, name);
}

TEST_F(InstallPosix, AProgramsEntryThatCannotBeWrittenHasItsText) {
  test::make_dirs(root_ / L"setup");
  InstallRequest request{root_ / L"Games/Corvane", L"", true, true};
  test::write_text(request.module_path = root_ / L"setup/Corvane-Setup.exe", "the setup program");
  const test::ScopedFsFault full([](os::FsOp op, std::wstring_view path, std::wstring_view) {
    return op == os::FsOp::Write && path.find(L"registry") != std::wstring_view::npos ? os::kErrorDiskFull
                                                                                     : os::kErrorSuccess;
  });
  run_install(request, [](const std::wstring& dir, UpdateResult& result, ProgressCallback) {
    test::write_text(join_path(dir, L"Corvane.exe"), "client");
    result = {kStatusNone, "2.0.1", "", "", 0};
    return kUpdated;
  }, page_report());
  EXPECT_EQ(take_page_messages().back(),
            L"{\"type\":\"error\",\"message\":\"Клиент установлен, но не удалось добавить его в список программ "
            L"Windows.\"}");
  EXPECT_TRUE(path_exists(desktop_link()));  // the shortcuts came before
}

TEST_F(InstallPosix, ProgramsEntryStopsAtTheFirstValueThatFailsAndNeedsItsKey) {
  {
    test::ScopedFsFault no_key([](os::FsOp op, std::wstring_view path, std::wstring_view) {
      return op == os::FsOp::CreateDirectory && path.ends_with(L"/corvane") ? os::kErrorAccessDenied
                                                                             : os::kErrorSuccess;
    });
    EXPECT_FALSE(write_programs_entry(request_, "1.0"));
  }
  EXPECT_EQ(value(L"DisplayName"), L"");
  int writes = 0;
  test::ScopedFsFault full([&writes](os::FsOp op, std::wstring_view path, std::wstring_view) {
    if (op != os::FsOp::Write || path.find(L"registry") == std::wstring_view::npos) return os::kErrorSuccess;
    return ++writes == 4 ? os::kErrorDiskFull : os::kErrorSuccess;
  });
  EXPECT_FALSE(write_programs_entry(request_, "1.0"));
  EXPECT_EQ(writes, 4);
  EXPECT_EQ(value(L"Publisher"), L"Corvane");  // the first three stay
  EXPECT_EQ(value(L"DisplayIcon"), L"");
  EXPECT_FALSE(dword(L"EstimatedSize"));
}

TEST_F(InstallPosix, WithoutAHomeNoInstallFolderIsProposed) {
  test::ScopedEnv no_home("HOME", std::nullopt);
  EXPECT_EQ(default_install_dir(), L"");
}

}  // namespace
}  // namespace corvane
