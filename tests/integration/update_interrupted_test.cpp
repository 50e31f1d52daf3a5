// A replacement cut short: the process stops (simulated with the file-system fault hook: from a
// chosen call on, every call that changes the disk fails, as on a machine that has stopped; what
// reached the disk stays), and the next run, even one without network, must find exactly one
// release in the client folder. The hook cannot take back data that was written, so this is a
// crash, not a loss of unsynced data; the power-cut tests on Linux do that.
#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "base/paths.h"
#include "integration/update_fixture.h"
#include "os/fs.h"
#include "os/text.h"

namespace corvane::test {
namespace {

bool ends_with(std::wstring_view text, std::wstring_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// A file of the user's own that no manifest names.
const Tree kUserFile = {{"bin/user.cfg", "volume=7\n"}};

class InterruptedUpdateTest : public UpdateRunTest {
 protected:
  void SetUp() override {
    UpdateRunTest::SetUp();
    // A CDN that was there and is gone: its port refuses connections.
    ASSERT_TRUE(gone_.start(os::to_utf8(work_ / L"cdn")));
    offline_url_ = gone_.base_url();
    gone_.stop();
  }

  void install(const Tree& tree) {
    remove_all(client_.path());
    make_dirs(client_.path());
    for (const auto& [path, content] : tree) put_client_file(path, content);
  }
  std::uint32_t run_offline() {
    ::testing::internal::CaptureStdout();
    const std::uint32_t code = run_update_with_base_url(offline_url_, client_.path(), {}, &result_, {}, "release");
    console_ = ::testing::internal::GetCapturedStdout();
    return code;
  }

  // Counts the calls from the first one on a backup or the replacement's journal; from call
  // `stop_at` on (0: never) every call fails with an I/O error.
  os::FsFaultHook stopping_at(int stop_at) {
    counted_ = 0;
    counting_ = false;
    return [this, stop_at](os::FsOp, std::wstring_view from, std::wstring_view to) {
      for (const std::wstring_view path : {from, to}) {
        if (ends_with(path, L".crvnold") || path.find(L"replace.journal") != std::wstring_view::npos) counting_ = true;
      }
      if (counting_) ++counted_;
      return stop_at != 0 && counting_ && counted_ >= stop_at ? os::kErrorIoDevice : os::kErrorSuccess;
    };
  }

  test_cdn::Server gone_;
  std::string offline_url_;
  std::atomic<int> counted_{0};
  std::atomic<bool> counting_{false};
};

TEST_F(InterruptedUpdateTest, AReplacementStoppedAtAnyCallIsUndoneByTheNextRunEvenWithoutNetwork) {
  const Tree before = overlay(older_release(), kUserFile);
  const Tree after = overlay(overlay(older_release(), newer_release()), kUserFile);
  publish(newer_release());
  install(before);
  {
    ScopedFsFault hook(stopping_at(0));
    ASSERT_EQ(run(), kUpdated) << console_;
  }
  const int calls = counted_.load();
  ASSERT_GT(calls, 5);

  for (int stop_at = 1; stop_at <= calls; ++stop_at) {
    SCOPED_TRACE("stopped at call " + std::to_string(stop_at) + " of " + std::to_string(calls));
    install(before);
    {
      ScopedFsFault hook(stopping_at(stop_at));
      (void)run();
    }
    EXPECT_EQ(run_offline(), kFailed);
    const Tree files = without_staging(client_tree());
    EXPECT_TRUE(files == before || files == after) << "neither release:\n" << describe(files) << console_;
    // (up to date when the stopped run had put everything in place)
    const std::uint32_t code = run();
    ASSERT_TRUE(code == kUpdated || code == kUpToDate) << console_;
    EXPECT_EQ(client_tree(), after);
  }
}

// What the file system is asked to do while a release replaces another, in order.
struct Call {
  os::FsOp op;
  std::wstring from;
  std::wstring to;
};

TEST_F(InterruptedUpdateTest, EveryFileIsOnTheDiskBeforeItsMoveAndItsFolderAfterIt) {
  publish(newer_release());
  // Without the files of equal content, which then come as one move and two copies.
  Tree before = overlay(older_release(), kUserFile);
  before.erase("bin/dup_a.dat");
  before.erase("data/ngtables/dup_b.dat");
  install(before);
  std::vector<Call> calls;
  {
    std::mutex lock;
    ScopedFsFault recording([&](os::FsOp op, std::wstring_view from, std::wstring_view to) {
      const std::lock_guard<std::mutex> guard(lock);
      calls.push_back({op, std::wstring(from), std::wstring(to)});
      return os::kErrorSuccess;
    });
    ASSERT_EQ(run(), kUpdated) << console_;
  }
  const auto flushed = [&](std::size_t from, std::size_t to, const std::wstring& path) {
    for (std::size_t i = from; i < to; ++i) {
      if (calls[i].op == os::FsOp::Sync && calls[i].from == path) return true;
    }
    return false;
  };
  const std::wstring staging = client_path("update");
  std::map<std::wstring, std::size_t> last_entry_in;  // folder -> the last call that put a file there
  int moved = 0;
  int copied = 0;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const Call& c = calls[i];
    const bool into_client = !c.to.empty() && !c.to.starts_with(staging) && !ends_with(c.to, L".crvnold");
    if (c.op == os::FsOp::Move && c.from.starts_with(staging) && into_client) {
      // A staged file: flushed before it is moved into place.
      EXPECT_TRUE(flushed(0, i, c.from)) << os::to_utf8(c.to) << " was moved in before its data was flushed";
      last_entry_in[parent_dir(c.to)] = i;
      ++moved;
    } else if (c.op == os::FsOp::Copy && into_client) {
      // A copy of equal content: flushed before the run goes on to report success.
      EXPECT_TRUE(flushed(i + 1, calls.size(), c.to)) << os::to_utf8(c.to) << " was copied and never flushed";
      last_entry_in[parent_dir(c.to)] = i;
      ++copied;
    }
  }
  EXPECT_GE(moved, 4);
  EXPECT_EQ(copied, 2);  // the second and third entries of one content
  // Every folder that received a file is flushed after the last one it received.
  for (const auto& [folder, last] : last_entry_in) {
    EXPECT_TRUE(flushed(last + 1, calls.size(), folder)) << os::to_utf8(folder) << " was never flushed";
  }
}

}  // namespace
}  // namespace corvane::test
