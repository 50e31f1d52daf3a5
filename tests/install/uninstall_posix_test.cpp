// Uninstall behaviour that only Linux can show: folders closed to their owner (checked as an
// ordinary user), names that are not UTF-8, and file systems mounted inside the client.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "install/uninstall.h"
#include "os/text.h"
#include "support/child_process.h"
#include "uninstall_fixture.h"

namespace corvane {
namespace {

using test::Uninstall;

TEST_F(Uninstall, FoldersClosedToTheirOwnerAreOpenedAndRemoved) {
  // Run as an ordinary user: root would remove them without asking.
  ::chmod(os::to_utf8(client_ + L"/bin/deep").c_str(), 0555);       // read-only
  ::chmod(os::to_utf8(client_ + L"/data/sub").c_str(), 0500);       // read-only, no one else
  ::chmod(os::to_utf8(client_ + L"/logs/sub").c_str(), 0);          // not even listable
  test::give_to_unprivileged_user(root_.path());
  const int code = test::run_as_unprivileged_user([this] { return remove_client(client_, true) ? 0 : 1; });
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(path_exists(client_));
  EXPECT_FALSE(entry_exists());
}

TEST_F(Uninstall, NamesThatAreNotUtf8AreRemovedToo) {
  for (const std::string name : {"/bin/caf\xE9.dll", "/caf\xE9", "/data/\xFF\xFE"}) {
    test::write_text(os::from_utf8_lossless(os::to_utf8(client_) + name), "x");
  }
  ASSERT_TRUE(path_exists(os::from_utf8_lossless(os::to_utf8(client_) + "/bin/caf\xE9.dll")));
  EXPECT_TRUE(remove_client(client_, true));
  EXPECT_FALSE(path_exists(client_ + L"/bin"));
  EXPECT_FALSE(path_exists(client_ + L"/data"));
  // Not a name of the client: it stays, and with it the client folder.
  EXPECT_TRUE(path_exists(os::from_utf8_lossless(os::to_utf8(client_) + "/caf\xE9")));
}

TEST_F(Uninstall, FileSystemsMountedInsideTheClientAreNeverEntered) {
  const std::wstring elsewhere = root_ / L"elsewhere";
  test::make_dirs(elsewhere);
  test::write_text(elsewhere + L"/precious", "mine");
  constexpr int kCannotMount = 77;
  const int code = test::run_in_mount_namespace([&] {
    // "data": another file system; "logs/sub": another mount of this one (a folder outside).
    if (!test::mount_tmpfs(client_ + L"/data", /*noexec=*/false)) return kCannotMount;
    if (!test::bind_mount(elsewhere, client_ + L"/logs/sub")) return kCannotMount;
    std::string written;
    if (os::write_file(client_ + L"/data/theirs", "theirs") != os::kErrorSuccess) return 10;
    const bool removed = remove_client(client_, true);
    if (!os::read_file(client_ + L"/data/theirs", written) || written != "theirs") return 11;
    if (!os::read_file(client_ + L"/logs/sub/precious", written) || written != "mine") return 12;
    if (removed) return 13;                          // the mount points are still there
    if (path_exists(client_ + L"/bin")) return 14;   // everything else has gone
    return 0;
  });
  if (code == test::kNoMountNamespace || code == kCannotMount) {
    GTEST_SKIP() << "no mount namespace or mount here (code " << code << "): needs root with CAP_SYS_ADMIN";
  }
  EXPECT_EQ(code, 0);
  EXPECT_EQ(test::read_text(elsewhere + L"/precious"), "mine");
  EXPECT_TRUE(entry_exists());  // not everything went: the entry stays for a later attempt
}

// A folder swapped for a symbolic link to another folder while the removal is inside it (the fault
// hook makes the swap the moment the first entry below data/sub is about to go): nothing is
// deleted through the link, and the link itself stays for a later run to remove as a link.
TEST_F(Uninstall, AFolderSwappedForALinkDuringTheRunIsNeverFollowed) {
  const std::string sub = os::to_utf8(client_ + L"/data/sub");
  const std::string moved = os::to_utf8(root_ / L"moved-away");
  const std::wstring outside = root_ / L"outside";
  test::make_dirs(outside);
  test::write_text(outside + L"/f", "outside the client");  // the same name as data/sub/f
  test::write_text(outside + L"/g", "outside too");
  bool swapped = false;
  {
    test::ScopedFsFault swap([&](os::FsOp, std::wstring_view path, std::wstring_view) {
      if (!swapped && os::to_utf8(path).starts_with(sub + "/")) {
        swapped = true;
        EXPECT_EQ(::rename(sub.c_str(), moved.c_str()), 0);
        EXPECT_EQ(::symlink(os::to_utf8(outside).c_str(), sub.c_str()), 0);
      }
      return os::kErrorSuccess;
    });
    EXPECT_FALSE(remove_client(client_, true));  // data/sub is a link now, which this run leaves
  }
  ASSERT_TRUE(swapped);
  EXPECT_EQ(test::read_text(outside + L"/f"), "outside the client");
  EXPECT_EQ(test::read_text(outside + L"/g"), "outside too");
  EXPECT_FALSE(path_exists(root_ / L"moved-away/f"));
  // The next run removes the link as a link.
  EXPECT_TRUE(remove_client(client_, true));
  EXPECT_EQ(test::read_text(outside + L"/f"), "outside the client");
}

}  // namespace
}  // namespace corvane
