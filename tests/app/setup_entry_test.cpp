#include "app/setup_entry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/window_proc.h"
#include "base/paths.h"
#include "install/install_env.h"
#include "install/uninstall.h"
#include "os/fs.h"
#include "ui/dispatcher.h"

namespace corvane {
namespace {

// The whole start-up on the test's thread: the recording host runs the window loop, reports the
// view and plays the page through `page_script`.
class SetupEntry : public test::InstallEnv {
 protected:
  SetupEntry() {
    host.window_proc = window_proc;
    host.view_created = on_view_created;
    jobs_.install = [](const InstallRequest&) {};
    jobs_.uninstall = setup_jobs().uninstall;
    test::make_dirs(client_);
    test::write_text(client_ + L"/Corvane.exe", "client");
    test::make_dirs(root_ / L"tmp");
    test::write_text(copy_, "the temporary uninstaller");
  }

  int run(const std::vector<std::wstring>& args) { return run_setup(host, args, copy_); }
  void page(std::wstring_view command) { dispatch_command(command, jobs_); }
  void uninstall_and_close(std::wstring_view command) {
    page(command);
    ASSERT_TRUE(host.pump_until([] { return !app_state().busy.load(); }));
    page(L"close");
  }

  CommandJobs jobs_;
  std::wstring client_ = root_ / L"Games/Corvane";
  std::wstring copy_ = root_ / L"tmp/Corvane-Uninstall.exe";
};

TEST_F(SetupEntry, InstallModeShowsAHiddenWindowUntilThePageHasDrawn) {
  host.page_script = [this](test::RecordingHost& h) {
    page(L"ready");
    page(L"show");
    page(L"close");
    h.calls.push_back("page done");
  };
  EXPECT_EQ(run({L"setup"}), 0);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"create_window", "set_cloaked 1", "show_window", "set_timer 1 5000",
                                                  "create_view", "run_message_loop", "kill_timer 1", "set_cloaked 0",
                                                  "bring_to_foreground", "focus_view", "page done", "destroy_window",
                                                  "release_view", "quit_message_loop"}));
  // 1000 x 730 at 120 % on a 1920 x 1040 work area, centred.
  EXPECT_EQ(std::tuple(host.placement.left, host.placement.top, host.placement.right, host.placement.bottom),
            std::tuple(360, 82, 1560, 958));
  EXPECT_DOUBLE_EQ(host.view_zoom, 1.2);
  ASSERT_EQ(host.page.size(), 1u);
  EXPECT_NE(host.page[0].find(L"\"mode\":\"install\""), std::wstring::npos);
}

TEST_F(SetupEntry, ExitCodesWithoutAWindow) {
  EXPECT_EQ(run({L"x", L"/uninstall", root_ / L"nothing"}), 0);  // the error box, no window
  EXPECT_EQ(host.calls, std::vector<std::string>{"error box"});
  host.window_can_be_created = false;
  EXPECT_EQ(run({L"x", L"/uninstall", client_}), 1);
  EXPECT_EQ(host.count("create_view"), 0u);
  // The uninstall page is 675 x 534 at 120 %.
  EXPECT_EQ(std::pair(host.placement.right - host.placement.left, host.placement.bottom - host.placement.top),
            std::pair(810, 641));
}

TEST_F(SetupEntry, TheTemporaryCopyDeletesItselfOnlyAfterASuccessfulUninstall) {
  host.page_script = [this](test::RecordingHost&) {
    test::ScopedFsFault busy([this](os::FsOp op, std::wstring_view path, std::wstring_view) {
      return op == os::FsOp::Delete && path == join_path(client_, L"Corvane.exe") ? os::kErrorSharingViolation
                                                                        : os::kErrorSuccess;
    });
    uninstall_and_close(L"uninstall");
  };
  EXPECT_EQ(run({L"x", L"/uninstall", client_}), 0);
  EXPECT_TRUE(os::file_info(client_ + L"/Corvane.exe").has_value());
  EXPECT_TRUE(os::file_info(copy_).has_value());

  reset_app_state();
  app_state().host = &host;
  host.quit = false;
  host.page_script = [this](test::RecordingHost&) { uninstall_and_close(L"uninstall|1"); };
  EXPECT_EQ(run({L"x", L"/uninstall", client_}), 0);
  EXPECT_FALSE(os::file_info(client_).has_value());
  // Linux unlinks the program at once; Windows deletes it through cmd.exe about two seconds later.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (os::file_info(copy_) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_FALSE(os::file_info(copy_).has_value());
}

TEST_F(SetupEntry, WithoutARuntimeTheUserIsToldAndTheSetupEnds) {
  host.view_result = {ViewStatus::RuntimeMissing, 0};
  host.box_answer = MessageBoxAnswer::No;
  EXPECT_EQ(run({L"x", L"/uninstall", client_}), 0);
  EXPECT_EQ(host.count("question box"), 1u);
  EXPECT_TRUE(host.quit);
  EXPECT_TRUE(os::file_info(copy_).has_value());
}

}  // namespace
}  // namespace corvane
