// Programs that hold client files, on Windows: a program outside the client folder that has a
// client library loaded is asked to close through its windows (WM_CLOSE) and is terminated when it
// ignores that. The helper needs a window, so these cases run with a display (Xvfb under Wine).
#include "update/holding_processes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <memory>

#include "os/fs.h"
#include "os/text.h"
#include "support/temp_dir.h"
#include "update/helper_process_win32.h"
#include "update/replacement.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::TempDir;

constexpr char kHelperName[] = "corvane_update_test_helper.exe";

bool contains(const std::vector<std::uint32_t>& ids, std::uint32_t pid) {
  return std::find(ids.begin(), ids.end(), pid) != ids.end();
}

// A client folder with one client library in it: a copy of the test library, so that a program
// can load it.
class HoldingProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    test::make_dirs(client_ / L"bin");
    ASSERT_EQ(os::copy_file(test::test_module(), dll(), false), os::kErrorSuccess);
    ASSERT_TRUE(os::read_file(dll(), original_));
  }
  std::wstring dll() const { return client_ / L"bin/x.dll"; }
  std::wstring ready() const { return scratch_ / L"ready"; }

  // Starts the helper `program` with the client library loaded; waits until it has its window.
  std::unique_ptr<ChildProcess> start_holder(const std::wstring& program, bool ignore_close) {
    std::vector<std::wstring> args = {L"hold", dll(), ready()};
    if (ignore_close) args.push_back(L"ignore-close");
    auto child = std::make_unique<ChildProcess>(program, args);
    EXPECT_NE(child->pid(), 0u);
    EXPECT_TRUE(test::wait_for_file(ready())) << "the helper did not start (no display?)";
    return child;
  }

  TempDir client_;
  TempDir scratch_;
  std::string original_;
};

TEST(InsideDir, BackslashMustFollowTheFolderAndCaseIsIgnored) {
  EXPECT_TRUE(is_inside_dir(L"C:\\Corvane\\bin\\x.exe", L"C:\\Corvane"));
  EXPECT_TRUE(is_inside_dir(L"c:\\CORVANE\\x.exe", L"C:\\Corvane"));
  EXPECT_FALSE(is_inside_dir(L"C:\\Corvane2\\x.exe", L"C:\\Corvane"));
  EXPECT_FALSE(is_inside_dir(L"C:\\Corvane", L"C:\\Corvane"));
  EXPECT_FALSE(is_inside_dir(L"C:\\Corvane/x.exe", L"C:\\Corvane"));
}

TEST_F(HoldingProcesses, AProgramWithTheLibraryLoadedIsFoundAndClosesOnWmClose) {
  auto holder = start_holder(test::helper_program(), false);
  EXPECT_TRUE(contains(find_holding_processes(client_.path(), {dll()}), holder->pid()));
  EXPECT_FALSE(contains(find_holding_processes(client_.path(), {client_ / L"bin/other.dll"}), holder->pid()));
  // Module paths are compared without regard to letter case.
  std::wstring upper = dll();
  std::transform(upper.begin(), upper.end(), upper.begin(), [](wchar_t c) { return static_cast<wchar_t>(towupper(c)); });
  EXPECT_TRUE(contains(find_holding_processes(client_.path(), {upper}), holder->pid()));

  ::testing::internal::CaptureStdout();
  const auto start = std::chrono::steady_clock::now();
  close_holding_processes(client_.path(), {dll()}, 5000);
  const std::string console = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(console, std::string("[*] Obnovlenie: zakryvaem ") + kHelperName + ", on derzhit fayly klienta.\n");
  std::uint32_t exit_code = 0;
  ASSERT_TRUE(holder->ended(1s, exit_code));
  EXPECT_EQ(exit_code, test::kHelperClosedExitCode) << "it closed its window itself";
  EXPECT_LT(std::chrono::steady_clock::now() - start, 4s) << "a program that closes is not waited out";
}

TEST_F(HoldingProcesses, AProgramIgnoringWmCloseIsTerminatedWithExitCodeZeroAfterTheWait) {
  auto holder = start_holder(test::helper_program(), true);
  ::testing::internal::CaptureStdout();
  const auto start = std::chrono::steady_clock::now();
  close_holding_processes(client_.path(), {dll()}, 300);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  (void)::testing::internal::GetCapturedStdout();
  std::uint32_t exit_code = 99;
  ASSERT_TRUE(holder->ended(1s, exit_code));
  EXPECT_EQ(exit_code, 0u);
  EXPECT_GE(elapsed, 300ms);
}

TEST_F(HoldingProcesses, AProgramRunningFromTheClientFolderIsNeverClosed) {
  const std::wstring copy = client_ / L"helper.exe";
  ASSERT_EQ(os::copy_file(test::helper_program(), copy, true), os::kErrorSuccess);
  auto holder = start_holder(copy, false);
  EXPECT_FALSE(contains(find_holding_processes(client_.path(), {dll()}), holder->pid()));
  ::testing::internal::CaptureStdout();
  close_holding_processes(client_.path(), {dll()}, 300);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(holder->running());
}

TEST_F(HoldingProcesses, ApplyClosesTheHolderBeforeReplacing) {
  auto holder = start_holder(test::helper_program(), false);
  test::make_dirs(client_ / L"update");
  test::write_text(client_ / L"update/new.raw", "new library");
  UpdateResult result;
  bool self = false;
  ::testing::internal::CaptureStdout();
  const bool ok = apply_files(client_.path(), {ManifestFile{"bin/x.dll", std::string(64, 'e'), 11, 0}},
                              {client_ / L"update/new.raw"}, {}, result, self, 2000);
  const std::string console = ::testing::internal::GetCapturedStdout();
  ASSERT_TRUE(ok) << console;
  EXPECT_NE(console.find(kHelperName), std::string::npos);
  EXPECT_FALSE(holder->running());
  EXPECT_EQ(test::read_text(dll()), "new library");
  EXPECT_TRUE(test::read_text(dll() + L".crvnold") == original_);
}

}  // namespace
}  // namespace corvane
