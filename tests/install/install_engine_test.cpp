// An install and an uninstall with the real update engine, from a release served on 127.0.0.1.
#include <gtest/gtest.h>

#include "base/paths.h"
#include "install/install_run.h"
#include "install/programs_entry.h"
#include "install/uninstall.h"
#include "install_env.h"
#include "os/registry.h"
#include "os/text.h"
#include "release_builder/lzms_pack.h"
#include "release_builder/release.h"
#include "test_cdn.h"

namespace corvane {
namespace {

class InstallWithEngine : public test::InstallEnv {
 protected:
  void SetUp() override {
    const std::wstring source = root_ / L"source";
    test::make_dirs(source + L"/bin");
    test::write_text(source + L"/Corvane.exe", std::string(300000, 'c'));
    test::write_text(source + L"/bin/core.dll", "core");
    test::write_text(source + L"/uninstall.exe", "the release's uninstaller");
    tools::ReleaseOptions options;
    options.source = source;
    options.out = root_ / L"cdn/release";
    options.version = "3.1.0";
    options.date = "2024-07-01";
    // Packed where this build can pack (the Windows build has no LZMS encoder).
    if (tools::lzms_packing_available()) options.pack_globs = {"Corvane.exe"};
    std::vector<ManifestFile> files;
    std::string problem;
    ASSERT_TRUE(tools::build_release(options, files, problem)) << problem;
    ASSERT_TRUE(server_.start(os::to_utf8(root_ / L"cdn")));
    test::write_text(app_state().module_path = root_ / L"Corvane-Setup.exe", "the setup program");
  }

  // One install run; its page messages, each run of "progress" messages folded into one
  // L"progress...".
  std::vector<std::wstring> install() {
    ::testing::internal::CaptureStdout();  // the engine's console lines
    run_install(request_, [this](const std::wstring& dir, UpdateResult& result, ProgressCallback progress) {
      return run_update_with_base_url(server_.base_url(), dir, L"", &result, progress, "release");
    });
    (void)::testing::internal::GetCapturedStdout();
    std::vector<std::wstring> messages;
    for (std::wstring& m : take_page_messages()) {
      if (!m.starts_with(L"{\"type\":\"progress\"")) {
        messages.push_back(std::move(m));
      } else if (messages.empty() || messages.back() != L"progress...") {
        messages.push_back(L"progress...");
      }
    }
    return messages;
  }

  test::TempDir runtime_;  // the update lock
  test::ScopedEnv runtime_env_{"XDG_RUNTIME_DIR", runtime_.utf8()};
  test_cdn::Server server_;
  InstallRequest request_{root_ / L"Games/Corvane", L"", true, true};
};

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

  run_uninstall(dir, true);
  EXPECT_EQ(take_page_messages(), std::vector<std::wstring>{L"{\"type\":\"uninstalled\"}"});
  EXPECT_FALSE(path_exists(dir));
  EXPECT_FALSE(path_exists(desktop_link()) || path_exists(programs_link()));
  EXPECT_EQ(os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, L"InstallLocation"), L"");
}

}  // namespace
}  // namespace corvane
