#include "update/holding_processes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "os/fs.h"
#include "os/text.h"
#include "support/temp_dir.h"
#include "update/helper_process_posix.h"
#include "update/replacement.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::TempDir;

constexpr char kHelperName[] = "corvane_update_test_helper";

bool contains(const std::vector<std::uint32_t>& ids, pid_t pid) {
  return std::find(ids.begin(), ids.end(), static_cast<std::uint32_t>(pid)) != ids.end();
}

// A client folder with one client library in it.
class HoldingProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    test::make_dirs(client_ / L"bin");
    test::write_text(dll(), "library bytes");
  }
  std::wstring dll() const { return client_ / L"bin/x.dll"; }

  // Starts the helper program `program` mapping the client library; waits until it has.
  std::unique_ptr<ChildProcess> start_holder(const std::string& program, bool ignore_term) {
    std::vector<std::string> args = {"map", os::to_utf8(dll()), os::to_utf8(ready())};
    if (ignore_term) args.push_back("ignore-term");
    auto child = std::make_unique<ChildProcess>(program, args);
    EXPECT_GT(child->pid(), 0);
    EXPECT_TRUE(test::wait_for_file(ready()));
    return child;
  }
  std::wstring ready() const { return scratch_ / L"ready"; }

  TempDir client_;
  TempDir scratch_;
};

TEST(InsideDir, SeparatorMustFollowTheFolder) {
  EXPECT_TRUE(is_inside_dir(L"/c/Corvane/bin/x.exe", L"/c/Corvane"));
  EXPECT_TRUE(is_inside_dir(L"/C/CORVANE/x.exe", L"/c/Corvane"));
  EXPECT_FALSE(is_inside_dir(L"/c/Corvane2/x.exe", L"/c/Corvane"));
  EXPECT_FALSE(is_inside_dir(L"/c/Corvane", L"/c/Corvane"));
  EXPECT_FALSE(is_inside_dir(L"/c/Corvane/", L"/c/Corvane/"));
  EXPECT_FALSE(is_inside_dir(L"/c", L"/c/Corvane"));
}

TEST_F(HoldingProcesses, ProgramOutsideTheFolderIsFoundAndAskedToClose) {
  auto holder = start_holder(test::helper_program(), false);
  EXPECT_TRUE(contains(find_holding_processes(client_.path(), {dll()}), holder->pid()));
  EXPECT_FALSE(contains(find_holding_processes(client_.path(), {client_ / L"bin/other.dll"}), holder->pid()));

  ::testing::internal::CaptureStdout();
  const auto start = std::chrono::steady_clock::now();
  close_holding_processes(client_.path(), {dll()}, 5000);
  const std::string console = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(console, std::string("[*] Obnovlenie: zakryvaem ") + kHelperName + ", on derzhit fayly klienta.\n");
  int status = 0;
  ASSERT_TRUE(holder->ended(1s, status));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 4s) << "a program that closes is not waited out";
}

TEST_F(HoldingProcesses, ProgramIgnoringTheRequestIsKilledAfterTheWait) {
  auto holder = start_holder(test::helper_program(), true);
  ::testing::internal::CaptureStdout();
  const auto start = std::chrono::steady_clock::now();
  close_holding_processes(client_.path(), {dll()}, 300);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  (void)::testing::internal::GetCapturedStdout();
  int status = 0;
  ASSERT_TRUE(holder->ended(1s, status));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_GE(elapsed, 300ms);
}

TEST_F(HoldingProcesses, ProgramRunningFromTheClientFolderIsNeverClosed) {
  const std::wstring copy = client_ / L"helper";
  ASSERT_EQ(os::copy_file(os::from_utf8(test::helper_program()), copy, true), os::kErrorSuccess);
  auto holder = start_holder(os::to_utf8(copy), false);
  EXPECT_FALSE(contains(find_holding_processes(client_.path(), {dll()}), holder->pid()));
  ::testing::internal::CaptureStdout();
  close_holding_processes(client_.path(), {dll()}, 300);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(holder->running());
}

// Makes the kernel give the next new process the id `pid`, where this process may choose ids
// (root, with /proc/sys/kernel/ns_last_pid writable); false where it may not.
bool next_process_id_will_be(pid_t pid) {
  std::ofstream last("/proc/sys/kernel/ns_last_pid");
  last << pid - 1;
  last.flush();
  return last.good();
}

TEST_F(HoldingProcesses, AListedIdWhoseProgramHasEndedIsNeverSignalled) {
  auto holder = start_holder(test::helper_program(), false);
  const pid_t listed = holder->pid();
  ASSERT_TRUE(contains(find_holding_processes(client_.path(), {dll()}), listed));
  // The holder ends after it was listed, and its id goes to a program that holds no client file.
  ASSERT_EQ(::kill(listed, SIGKILL), 0);
  int status = 0;
  ASSERT_TRUE(holder->ended(5s, status));
  const std::wstring other_ready = scratch_ / L"other.ready";
  std::unique_ptr<ChildProcess> other;
  for (int attempt = 0; attempt < 5 && (!other || other->pid() != listed); ++attempt) {
    other.reset();
    if (!next_process_id_will_be(listed)) break;
    other = std::make_unique<ChildProcess>(test::helper_program(),
                                           std::vector<std::string>{"wait", os::to_utf8(other_ready)});
  }
  if (!other) {
    other = std::make_unique<ChildProcess>(test::helper_program(),
                                           std::vector<std::string>{"wait", os::to_utf8(other_ready)});
  }
  ASSERT_TRUE(test::wait_for_file(other_ready));
  // Where the id could not be handed on, the other program's own id stands for the reused one.
  if (other->pid() != listed) std::printf("(the id was not reused; the other program's id stands in)\n");

  ::testing::internal::CaptureStdout();
  close_listed_processes({static_cast<std::uint32_t>(other->pid())}, client_.path(), {dll()}, 300);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(other->running());
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
  ASSERT_TRUE(ok);
  EXPECT_NE(console.find(kHelperName), std::string::npos);
  EXPECT_FALSE(holder->running());
  EXPECT_EQ(test::read_text(dll()), "new library");
  EXPECT_EQ(test::read_text(dll() + L".crvnold"), "library bytes");
}

}  // namespace
}  // namespace corvane
