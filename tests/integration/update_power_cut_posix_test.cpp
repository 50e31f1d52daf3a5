// Power cuts, on a FUSE file system that forgets what was not made durable (power_cut_fs.cpp):
// first the file system itself, then the update engine cut at chosen points. After each cut the
// mount is unmounted and mounted again, which is the reboot. Needs root and /dev/fuse.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "base/paths.h"
#include "integration/power_cut_mount.h"
#include "integration/update_fixture.h"
#include "net/resume.h"
#include "os/fs.h"
#include "os/text.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

// A base URL where nothing listens: the runs of a machine that has no network after the reboot.
std::string offline_base_url() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  (void)::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  (void)::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);  // nothing listens on it any more
  return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
}

// The client's own files: without the staging folder and the backups a clean-up had left.
Tree client_files(Tree tree) {
  std::erase_if(tree, [](const auto& file) {
    return file.first.rfind("update/", 0) == 0 ||
           (file.first.size() > 8 && file.first.compare(file.first.size() - 8, 8, ".crvnold") == 0);
  });
  return tree;
}

bool ends_with(std::wstring_view text, std::wstring_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// A mount namespace of this process's own, so that no mount outlives the test.
bool private_mounts() {
  return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

class PowerCutTest : public UpdateRunTest {
 protected:
  void SetUp() override {
    if (const std::string reason = PowerCutMount::unavailable_reason(); !reason.empty()) GTEST_SKIP() << reason;
    if (!private_mounts()) GTEST_SKIP() << "no mount namespace of its own";
    UpdateRunTest::SetUp();
    make_dirs(box_ / L"back/client");
    make_dirs(box_ / L"mnt");
    mount_.emplace(os::to_utf8(box_ / L"back"), os::to_utf8(box_ / L"mnt"));
    client_override_ = box_ / L"mnt/client";
    ASSERT_TRUE(mount_->mount(options_));
  }
  void TearDown() override {
    os::set_fs_fault_hook(nullptr);
    if (mount_) mount_->unmount();
    UpdateRunTest::TearDown();
  }

  // Unmounts and mounts again: after a cut, the reboot.
  void reboot() {
    mount_->unmount();
    ASSERT_TRUE(mount_->mount(options_));
  }
  // Puts `tree` in the client folder as a durable state (written below the mount, then mounted).
  void install(const Tree& tree) {
    mount_->unmount();
    const std::wstring client = box_ / L"back/client";
    remove_all(client);
    make_dirs(client);
    for (const auto& [relative, content] : tree) {
      std::wstring path = client;
      for (const wchar_t c : L"/" + os::from_utf8(relative)) path.push_back(c == L'/' ? os::kSep : c);
      make_dirs(parent_dir(path));
      write_text(path, content);
    }
    ASSERT_TRUE(mount_->mount(options_));
  }
  std::uint32_t run_offline() {
    ::testing::internal::CaptureStdout();
    const std::uint32_t code =
        run_update_with_base_url(offline_base_url(), client_dir(), {}, &result_, {}, "release");
    console_ = ::testing::internal::GetCapturedStdout();
    return code;
  }
  bool printed_success() const { return console_.find("[*] Klient obnovlen do versii") != std::string::npos; }

  TempDir box_;
  std::optional<PowerCutMount> mount_;
  PowerCutOptions options_;
};

// ---- the file system itself ----------------------------------------------------------------

class PowerCutFs : public PowerCutTest {
 protected:
  std::wstring at(const char* relative) const { return client_path(relative); }
  static void sync_path(const std::wstring& path, bool folder = false) {
    const int fd = ::open(os::to_utf8(path).c_str(), (folder ? O_RDONLY | O_DIRECTORY : O_RDWR) | O_CLOEXEC);
    ASSERT_GE(fd, 0) << os::to_utf8(path);
    EXPECT_EQ(::fsync(fd), 0);
    ::close(fd);
  }
  // Writes, syncs and changes a few files, cuts, reboots; returns what the client folder holds.
  Tree cut_after_changes() {
    install({{"kept.txt", "durable"}, {"removed.txt", "removed later"}, {"sub/renamed.txt", "renamed later"}});
    write_text(at("kept.txt"), "synced");
    sync_path(at("kept.txt"));
    write_text(at("kept.txt"), "changed after the sync");
    write_text(at("new.txt"), "never synced");
    write_text(at("synced-new.txt"), "synced, folder not");
    sync_path(at("synced-new.txt"));
    EXPECT_TRUE(os::move_file(at("sub/renamed.txt"), at("moved.txt"), 0) == os::kErrorSuccess);
    EXPECT_TRUE(os::delete_file(at("removed.txt")) == os::kErrorSuccess);
    EXPECT_TRUE(mount_->cut());
    // The power is off: nothing answers until the reboot.
    EXPECT_FALSE(os::file_info(at("kept.txt")).has_value());
    reboot();
    return client_tree();
  }
};

TEST_F(PowerCutFs, ForgetsWhatWasNotSyncedAndInStrictModeUnsyncedFolderEntries) {
  EXPECT_EQ(cut_after_changes(), (Tree{{"kept.txt", "synced"},
                                       {"removed.txt", "removed later"},
                                       {"sub/renamed.txt", "renamed later"}}));
  // Once the folders were synced too, the entries stay and only unsynced contents are lost.
  install({{"a.txt", "a"}});
  write_text(at("b.txt"), "b");
  sync_path(at("b.txt"));
  write_text(at("c.txt"), "c");
  ASSERT_EQ(os::delete_file(at("a.txt")), os::kErrorSuccess);
  sync_path(client_dir(), true);
  ASSERT_TRUE(mount_->cut());
  reboot();
  EXPECT_EQ(client_tree(), (Tree{{"b.txt", "b"}, {"c.txt", ""}}));

  // Without strict mode every folder change survives: only contents go back.
  options_.strict = false;
  EXPECT_EQ(cut_after_changes(), (Tree{{"kept.txt", "synced"},
                                       {"moved.txt", "renamed later"},
                                       {"new.txt", ""},
                                       {"synced-new.txt", "synced, folder not"}}));
}

TEST_F(PowerCutFs, CutsByItselfAtTheChosenCall) {
  install({{"a.txt", "a"}});
  options_.log = os::to_utf8(box_ / L"calls.log");
  options_.anchor = "^create .*/b\\.txt$";
  options_.cut_after = 2;  // the create is the first call; the second is cut
  reboot();
  EXPECT_NE(os::write_file(at("b.txt"), "b"), os::kErrorSuccess);
  ASSERT_TRUE(mount_->cut_at().has_value());
  const std::string log = read_text(box_ / L"calls.log");
  EXPECT_NE(log.find(std::to_string(*mount_->cut_at()) + " CUT"), std::string::npos) << log;
  options_ = {};
  reboot();
  EXPECT_EQ(client_tree(), (Tree{{"a.txt", "a"}}));
}

// ---- the update engine ---------------------------------------------------------------------

// A file of the user's own that no manifest names.
const Tree kUserFile = {{"user/settings.cfg", "volume=7\n"}};

TEST_F(PowerCutTest, EqualContentsSurviveACutRightAfterTheUpdate) {
  const Tree release = newer_release();
  publish(release);
  ASSERT_EQ(run(), kUpdated) << console_;
  ASSERT_TRUE(printed_success());
  ASSERT_TRUE(mount_->cut());
  reboot();
  // Every file of the release, the copies of equal content included, as it was published.
  EXPECT_EQ(without_staging(client_tree()), release);
}

// Cuts the update at every file-system call of the replacement in turn (counted from the first
// call on a backup or on the replacement's journal), reboots, and checks that a run without network restores exactly the older release,
// or leaves the newer one where the replacement was already complete; a run with network then
// brings the newer release.
TEST_F(PowerCutTest, AReplacementCutShortIsUndoneByTheNextRunEvenWithoutNetwork) {
  const Tree before = overlay(older_release(), kUserFile);
  const Tree after = overlay(overlay(older_release(), newer_release()), kUserFile);
  publish(newer_release());

  // How many calls the replacement and its clean-up make when nothing cuts them.
  std::atomic<int> counted{0};
  std::atomic<bool> counting{false};
  const auto count_calls = [&](os::FsOp, std::wstring_view from, std::wstring_view to) {
    for (const std::wstring_view path : {from, to}) {
      if (ends_with(path, L".crvnold") || path.find(L"replace.journal") != std::wstring_view::npos) counting = true;
    }
    if (counting) ++counted;
    return os::kErrorSuccess;
  };
  install(before);
  {
    ScopedFsFault hook(count_calls);
    ASSERT_EQ(run(), kUpdated) << console_;
  }
  const int calls = counted.load();
  ASSERT_GT(calls, 5);

  for (int cut_at = 1; cut_at <= calls; ++cut_at) {
    SCOPED_TRACE("cut at call " + std::to_string(cut_at) + " of " + std::to_string(calls));
    install(before);
    counted = 0;
    counting = false;
    {
      ScopedFsFault hook([&](os::FsOp op, std::wstring_view from, std::wstring_view to) {
        (void)count_calls(op, from, to);
        if (counted == cut_at) {
          EXPECT_TRUE(mount_->cut());
        }
        return os::kErrorSuccess;
      });
      (void)run();
    }
    const bool succeeded = printed_success();
    reboot();
    if (succeeded) {
      EXPECT_EQ(client_files(client_tree()), after) << "the run had printed its success line";
    }

    EXPECT_EQ(run_offline(), kFailed);
    const Tree offline = client_tree();
    const Tree files = without_staging(offline);
    EXPECT_TRUE(files == before || files == after)
        << "neither release after an offline run:\n" << describe(files) << console_;

    // (up to date when the stopped run had put everything in place)
    const std::uint32_t code = run();
    ASSERT_TRUE(code == kUpdated || code == kUpToDate) << console_;
    EXPECT_EQ(client_tree(), after);
  }
}

// Two updates in a row, the second cut at the move of its first new file: the backups the first
// one deleted must not come back with the cut and be put back as the originals, which would mix
// the release before last into the last one.
TEST_F(PowerCutTest, ASecondUpdateCutShortNeverBringsBackTheReleaseBeforeLast) {
  const Tree r1 = {{"bin/a.dll", noise(5000, 2)}, {"bin/b.dll", "b"}, {"bin/c.dll", "c of 1"}};
  const Tree r2 = {{"bin/a.dll", noise(5000, 3)}, {"bin/b.dll", "b"}, {"bin/c.dll", "c of 2"}};
  install(overlay({{"bin/a.dll", noise(5000, 1)}, {"bin/b.dll", "b"}}, kUserFile));
  publish(r1);
  ASSERT_EQ(run(), kUpdated) << console_;
  publish(r2, "2.0.0");
  std::atomic<bool> cut{false};
  {
    ScopedFsFault hook([&](os::FsOp op, std::wstring_view from, std::wstring_view) {
      if (op == os::FsOp::Move && ends_with(from, L".raw") && !cut.exchange(true)) {
        EXPECT_TRUE(mount_->cut());
      }
      return os::kErrorSuccess;
    });
    (void)run();
  }
  ASSERT_TRUE(cut.load());
  reboot();
  EXPECT_EQ(run_offline(), kFailed);
  const Tree files = without_staging(client_tree());
  EXPECT_TRUE(files == overlay(r1, kUserFile) || files == overlay(r2, kUserFile))
      << "neither release after an offline run:\n" << describe(files) << console_;
  ASSERT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(without_staging(client_tree()), overlay(r2, kUserFile));
}

// A cut during the download, once a part of a ranged download is recorded: what the resume record
// names is on the disk after the reboot, and the next run fetches only the rest.
TEST_F(PowerCutTest, PartsRecordedBeforeACutAreOnTheDiskAfterIt) {
  Tree release = newer_release();
  release["data/ngtables/big.bin"] = noise(24u << 20, 31);  // three ranged parts, not packed
  publish(release, "1.0.0", "", {"Corvane.exe"});
  server_.add_fault({.kind = test_cdn::FaultKind::kSlowBody, .bytes_per_second = 8000000});
  const std::string sha = entry("data/ngtables/big.bin").sha256;
  const std::string parts = os::to_utf8(box_ / L"back/client/update/") + sha + ".parts";
  std::atomic<bool> stop{false};
  std::thread cutter([&] {
    // One part recorded: the part size and an offset.
    while (!stop) {
      std::error_code ec;
      if (std::filesystem::file_size(parts, ec) >= 8 && !ec) {
        EXPECT_TRUE(mount_->cut());
        return;
      }
      std::this_thread::sleep_for(1ms);
    }
  });
  (void)run();
  stop = true;
  cutter.join();
  ASSERT_TRUE(mount_->cut_at().has_value()) << "the download ended before a part was recorded";
  reboot();
  // What survived: the record, and the staging file with the recorded parts as published.
  const std::vector<std::uint32_t> record = read_parts_file(client_path("update/" + sha + ".parts"));
  ASSERT_GE(record.size(), 2u) << "the record did not survive the cut";
  const std::string staged = read_text(client_path("update/" + sha + ".raw"));
  const std::string& big = release["data/ngtables/big.bin"];
  ASSERT_EQ(staged.size(), big.size());
  for (std::size_t i = 1; i < record.size(); ++i) {
    EXPECT_TRUE(staged.compare(record[i], 8388608, big, record[i], 8388608) == 0)
        << "the recorded part at " << record[i] << " does not read back as it arrived";
  }

  server_.clear_faults();
  server_.reset_counters();
  ASSERT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(without_staging(client_tree()), release);
  // Only the parts that were not recorded are fetched again (and the one byte of the range probe).
  EXPECT_EQ(fetched("data/ngtables/big.bin").body_bytes, big.size() - (record.size() - 1) * 8388608u + 1);
}

}  // namespace
}  // namespace corvane::test
