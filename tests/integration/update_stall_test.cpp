// A server that stalls or trickles, a lock that another run keeps, and a run that its caller
// cancels: each ends the run within a bound, with its status and line, and an honest slow link
// still completes.
#include <chrono>
#include <future>
#include <optional>
#include <thread>

#include "integration/update_fixture.h"
#include "net/wait_limits.h"
#include "os/folder_lock.h"
#include "os/platform.h"
#include "os/process.h"
#include "os/text.h"
#include "os/update_lock.h"
#include "update/cleanup.h"
#include "update/replace_journal.h"

namespace corvane::test {
namespace {

using std::chrono::milliseconds;
using test_cdn::FaultKind;

// Eight small files, none packed: the download's speed is the server's alone.
Tree slow_link_release(int variant) {
  Tree tree;
  for (int i = 0; i < 8; ++i) tree["bin/part" + std::to_string(i) + ".dat"] = noise(12 * 1024, 100 * variant + i);
  tree["uninstall.exe"] = "uninstaller";
  return tree;
}

class UpdateStallTest : public UpdateRunTest {
 protected:
  void SetUp() override {
    UpdateRunTest::SetUp();
    saved_ = wait_limits();
  }
  void TearDown() override {
    set_wait_limits(saved_);
    UpdateRunTest::TearDown();
  }
  // One run, and how long it took.
  milliseconds timed_run(ProgressCallback progress = {}) {
    const auto start = std::chrono::steady_clock::now();
    (void)run(progress);
    return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
  }
  std::string path_of(const std::string& manifest_path) const {
    return "/release/" + file_url_path(entry(manifest_path));
  }

  WaitLimits saved_;
};

// Short figures, so that each bound is reached within a test.
WaitLimits short_limits() {
  WaitLimits limits;
  limits.document_deadline = milliseconds(1500);
  limits.part_floor_bytes = 1024;
  limits.part_floor_window = milliseconds(1000);
  limits.lock_wait = milliseconds(1000);
  return limits;
}

TEST_F(UpdateStallTest, ATricklingServerEndsTheRunWithinItsBoundAndKeepsWhatArrived) {
  const Tree release = slow_link_release(1);
  publish(release, "1.0.0", "", {});
  set_wait_limits(short_limits());
  struct Case {
    const char* name;
    bool manifest;  // the manifest trickles; else one file does
    std::uint32_t status;
    const char* line;
  };
  const Case cases[] = {
      {"manifest", true, kStatusCdnUnreachable, "[!] Obnovlenie: CDN nedostupen"},
      {"part", false, kStatusDownloadIncomplete, "[!] Obnovlenie: ne skachano 1 chastey"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_.clear_faults();
    server_.reset_counters();
    const std::string slow = c.manifest ? "/release/manifest.json" : path_of("bin/part3.dat");
    server_.add_fault({.kind = FaultKind::kSlowBody, .path = slow, .bytes_per_second = 2});
    const milliseconds took = timed_run();
    EXPECT_EQ(result_.status, c.status) << console_;
    EXPECT_NE(console_.find(c.line), std::string::npos) << console_;
    // The manifest's deadline; a part's three attempts of one floor window each, and some slack.
    EXPECT_LT(took, milliseconds(c.manifest ? 5000 : 9000));
    if (c.manifest) continue;
    // Each attempt on a connection of its own, and the rest of the release kept for the next run,
    // which fetches only the slow file.
    EXPECT_EQ(server_.counters(slow).requests, 3u);
    EXPECT_EQ(server_.counters(slow).connections, 3u);
    server_.clear_faults();
    server_.reset_counters();
    EXPECT_EQ(run(), kUpdated) << console_;
    EXPECT_EQ(server_.counters(path_of("bin/part0.dat")).requests, 0u);
    EXPECT_EQ(server_.counters(slow).requests, 1u);
    EXPECT_EQ(without_staging(client_tree()), release);
  }
}

TEST_F(UpdateStallTest, AnHonestSlowLinkCompletes) {
  // 64 KiB/s shared by eight connections is 8 KiB/s on each. The product's floor is kept, over a
  // window short enough to be judged within the test.
  WaitLimits limits = wait_limits();
  limits.part_floor_bytes = limits.part_floor_bytes * 1000 / static_cast<std::uint64_t>(limits.part_floor_window.count());
  limits.part_floor_window = milliseconds(1000);
  set_wait_limits(limits);
  const Tree release = slow_link_release(2);
  publish(release, "1.0.0", "", {});
  server_.add_fault({.kind = FaultKind::kSlowBody, .bytes_per_second = 64 * 1024 / 8});
  EXPECT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(without_staging(client_tree()), release);
}

TEST_F(UpdateStallTest, ALockHeldByAnotherRunEndsTheWaitWithWhoHoldsIt) {
  publish(slow_link_release(1), "1.0.0", "", {});
  set_wait_limits(short_limits());
  const std::wstring staging = staging_dir_for(client_dir());
  struct Case {
    const char* name;
    std::wstring where;
    bool folder;
  };
  std::wstring update_lock_where = os::UpdateLock::lock_file_path(os::kUpdateLockName);
  const Case cases[] = {
      {"update lock", update_lock_where, false},
      {"folder lock", staging + os::kSep + std::wstring(kFolderLockName), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Held on a thread of its own: a Windows mutex is its owner thread's to take again.
    std::promise<void> taken;
    std::promise<void> done;
    std::thread holder([&] {
      std::optional<os::UpdateLock> update;
      std::optional<os::FolderLock> folder;
      if (c.folder) {
        folder.emplace(staging, kFolderLockName);
      } else {
        update.emplace();
      }
      taken.set_value();
      done.get_future().wait();
    });
    taken.get_future().wait();
    const milliseconds took = timed_run();
    done.set_value();
    holder.join();
    EXPECT_EQ(result_.status, kStatusLockUnavailable) << console_;
    EXPECT_EQ(result_.error_code, os::kErrorLockHeld);
    EXPECT_GE(took, milliseconds(900));
    EXPECT_LT(took, milliseconds(5000));
    const std::string who = os::kIsWindows ? std::string("drugoy process")
                                           : "process " + std::to_string(os::current_process_id()) + " (";
    const std::string lock = "blokirovku " + os::to_utf8(c.where) + " derzhit ";
    EXPECT_EQ(console_.rfind("[*] Obnovlenie: " + lock + "drugoy zapusk, zhdem do 1 s...\n[!] Obnovlenie: " + lock + who, 0),
              0u)
        << console_;
    EXPECT_EQ(server_.totals().requests, 0u);
  }
  EXPECT_EQ(run(), kUpdated) << console_;  // once let go, the next run goes ahead
}

// Sets the run's cancel flag at its first progress report.
void cancel_at_first_report(void* context, std::uint64_t, std::uint64_t, std::uint32_t, std::uint32_t) {
  static_cast<std::atomic<bool>*>(context)->store(true);
}

TEST_F(UpdateStallTest, ACancelledRunStopsSoonAndLeavesTheClientAsItWas) {
  const Tree older = slow_link_release(1);
  publish(older, "1.0.0", "", {});
  ASSERT_EQ(run(), kUpdated) << console_;
  publish(slow_link_release(2), "2.0.0", "", {});
  server_.add_fault({.kind = FaultKind::kSlowBody, .path = "", .bytes_per_second = 2048});
  for (const bool before_start : {true, false}) {
    SCOPED_TRACE(before_start ? "before the run" : "during the download");
    server_.reset_counters();
    std::atomic<bool> cancel{before_start};
    ProgressCallback progress{&cancel, &cancel_at_first_report, &cancel};
    const milliseconds took = timed_run(progress);
    EXPECT_EQ(result_.status, kStatusCancelled) << console_;
    EXPECT_NE(console_.find("[!] Obnovlenie: otmeneno polzovatelem, fayly klienta ne izmeneny.\n"), std::string::npos)
        << console_;
    EXPECT_LT(took, milliseconds(4000));  // a whole file takes 6 s at this speed
    EXPECT_EQ(without_staging(client_tree()), older);
    if (before_start) {
      EXPECT_EQ(server_.totals().requests, 0u);
    }
  }
}

}  // namespace
}  // namespace corvane::test
