#pragma once
// An install and an uninstall with the real update engine, from a release served on 127.0.0.1:
// the fixture that the portable and the Windows cases share.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/paths.h"
#include "install/install_run.h"
#include "client_release.h"
#include "install_env.h"
#include "os/text.h"
#include "test_cdn.h"

namespace corvane::test {

class InstallWithEngine : public InstallEnv {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(build_client_release(root_, std::string(300000, 'c')));
    ASSERT_TRUE(server_.start(os::to_utf8(root_ / L"cdn")));
    write_text(request_.module_path = root_ / L"Corvane-Setup.exe", "the setup program");
  }

  // One install run; its page messages, each run of "progress" messages folded into one
  // L"progress...".
  std::vector<std::wstring> install() {
    ::testing::internal::CaptureStdout();  // the engine's console lines
    run_install(request_, [this](const std::wstring& dir, UpdateResult& result, ProgressCallback progress) {
      return run_update_with_base_url(server_.base_url(), dir, L"", &result, progress, "release");
    }, page_report());
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
