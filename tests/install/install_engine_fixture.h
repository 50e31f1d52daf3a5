#pragma once
// An install and an uninstall with the real update engine, from a release served on 127.0.0.1:
// the fixture that the portable and the Windows cases share.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/paths.h"
#include "install/install_run.h"
#include "install_env.h"
#include "os/text.h"
#include "release_builder/lzms_pack.h"
#include "release_builder/release.h"
#include "test_cdn.h"

namespace corvane::test {

class InstallWithEngine : public InstallEnv {
 protected:
  void SetUp() override {
    const std::wstring source = root_ / L"source";
    make_dirs(source + L"/bin");
    write_text(source + L"/Corvane.exe", std::string(300000, 'c'));
    write_text(source + L"/bin/core.dll", "core");
    write_text(source + L"/uninstall.exe", "the release's uninstaller");
    tools::ReleaseOptions options;
    options.source = source;
    options.out = root_ / L"cdn/release";
    options.version = "3.1.0";
    options.date = "2024-07-01";
    // Packed where this build can pack (under Wine the Windows build has no LZMS compressor).
    if (tools::lzms_packing_available()) options.pack_globs = {"Corvane.exe"};
    std::vector<ManifestFile> files;
    std::string problem;
    ASSERT_TRUE(tools::build_release(options, files, problem)) << problem;
    ASSERT_TRUE(server_.start(os::to_utf8(root_ / L"cdn")));
    write_text(app_state().module_path = root_ / L"Corvane-Setup.exe", "the setup program");
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

  TempDir runtime_;  // the update lock
  ScopedEnv runtime_env_{"XDG_RUNTIME_DIR", runtime_.utf8()};
  test_cdn::Server server_;
  InstallRequest request_{root_ / L"Games/Corvane", L"", true, true};
};

}  // namespace corvane::test
