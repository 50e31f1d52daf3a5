// An install and an uninstall with the real update engine, from a release served on 127.0.0.1.
#include <gtest/gtest.h>

#include "install/programs_entry.h"
#include "install/uninstall.h"
#include "install_engine_fixture.h"
#include "os/registry.h"

namespace corvane {
namespace {

using test::InstallWithEngine;

TEST_F(InstallWithEngine, InstallRepeatAndUninstall) {
  std::vector<std::wstring> done = {
      L"{\"type\":\"stage\",\"stage\":\"manifest\"}", L"{\"type\":\"stage\",\"stage\":\"download\"}",
      L"progress...", L"{\"type\":\"stage\",\"stage\":\"configure\"}",
      L"{\"type\":\"installed\",\"version\":\"3.1.0\",\"date\":\"2024-07-01\"}"};
  EXPECT_EQ(install(), done);
  const std::wstring& dir = request_.install_dir;
  EXPECT_EQ(test::read_text(dir + L"/Corvane.exe"), std::string(300000, 'c'));
  // The release's uninstaller replaces the setup's own copy.
  EXPECT_EQ(test::read_text(dir + L"/uninstall.exe"), "the release's uninstaller");
  EXPECT_EQ(os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, L"DisplayVersion"), L"3.1.0");
  EXPECT_GT(folder_size(dir), 300000u);
  EXPECT_EQ(os::read_registry_dword(os::RegistryRoot::CurrentUser, kProgramsKey, L"EstimatedSize"),
            folder_size(dir) / 1024);

  // A repeat sends the same messages. (It fetches the release's uninstall.exe again: the setup put
  // its own copy there first.)
  EXPECT_EQ(install(), done);
  EXPECT_EQ(test::read_text(dir + L"/bin/core.dll"), "core");

  run_uninstall(dir, true, page_report());
  EXPECT_EQ(take_page_messages(), std::vector<std::wstring>{L"{\"type\":\"uninstalled\"}"});
  EXPECT_FALSE(path_exists(dir));
  EXPECT_FALSE(path_exists(desktop_link()) || path_exists(programs_link()));
  EXPECT_EQ(os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, L"InstallLocation"), L"");
}

TEST_F(InstallWithEngine, AWindowClosedDuringTheInstallStopsItAndSaysSo) {
  const std::atomic<bool> closed{true};  // as the window sets it on a close during the run
  request_.cancel = &closed;
  EXPECT_EQ(install(), (std::vector<std::wstring>{
                           L"{\"type\":\"stage\",\"stage\":\"manifest\"}", L"{\"type\":\"stage\",\"stage\":\"download\"}",
                           L"{\"type\":\"error\",\"message\":\"Установка отменена. Уже скачанные файлы сохранены, и "
                           L"следующая установка продолжит с них.\"}"}));
  EXPECT_FALSE(path_exists(request_.install_dir + L"/Corvane.exe"));
  EXPECT_EQ(os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, L"InstallLocation"), L"");
}

}  // namespace
}  // namespace corvane
