#include "install/uninstall.h"

#include <gtest/gtest.h>

#include "base/paths.h"
#include "install/install_location.h"
#include "install/programs_entry.h"
#include "install/shortcuts.h"
#include "install_env.h"
#include "os/registry.h"
#include "os/text.h"
#include "support/child_process.h"

namespace corvane {
namespace {

// A client as an install leaves it: files and folders among its names (a read-only file deep in
// "bin"), its resources, both shortcuts and the programs-list entry.
class Uninstall : public test::InstallEnv {
 protected:
  void SetUp() override {
    InstallEnv::SetUp();
    if (IsSkipped()) return;
    test::make_dirs(client_ + L"/bin/deep/er");
    for (const wchar_t* name : {L"Corvane.exe", L"GTA5.exe", L"config.json", L"launcher.json", L"game_args.txt",
                                L"uninstall.exe", L"gta_path.txt", L"Corvane.exe.crvnold"}) {
      test::write_text(join_path(client_, name), "file");
    }
    test::write_text(client_ + L"/bin/deep/er/locked.dll", "ro");
    test::make_read_only(client_ + L"/bin/deep/er/locked.dll");
    for (const wchar_t* name : {L"data", L"logs", L"update", L"webview", L"cache", L"client_resources"}) {
      test::make_dirs(join_path(client_, name) + L"/sub");
      test::write_text(join_path(client_, name) + L"/sub/f", "x");
    }
    InstallRequest request{client_, L"", true, true};
    ASSERT_TRUE(create_shortcut(desktop_shortcut_path(), client_ + L"/Corvane.exe", request));
    ASSERT_TRUE(create_shortcut(start_menu_shortcut_path(), client_ + L"/Corvane.exe", request));
    ASSERT_TRUE(write_programs_entry(request, "1.0"));
  }

  bool entry_exists() const {
    return !os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, L"InstallLocation").empty();
  }
  bool shortcuts_exist() const { return path_exists(desktop_link()) || path_exists(programs_link()); }

  std::wstring client_ = root_ / L"Games/Corvane";
};

TEST_F(Uninstall, AFileInUseKeepsTheEntryAndFolderUntilARetryRemovesEverything) {
  {
    test::ScopedFsFault busy([this](os::FsOp op, std::wstring_view path, std::wstring_view) {
      return op == os::FsOp::Delete && path == join_path(client_, L"Corvane.exe") ? os::kErrorSharingViolation
                                                                        : os::kErrorSuccess;
    });
    run_uninstall(client_, true);
  }
  EXPECT_EQ(take_page_messages(),
            std::vector<std::wstring>{L"{\"type\":\"error\",\"message\":\"Не удалось удалить часть файлов. "
                                      L"Закройте игру и клиент, затем повторите.\"}"});
  EXPECT_FALSE(app_state().uninstall_done);
  EXPECT_TRUE(path_exists(client_ + L"/Corvane.exe"));
  EXPECT_FALSE(path_exists(client_ + L"/bin"));  // every other name was still removed
  EXPECT_FALSE(path_exists(client_ + L"/client_resources"));
  EXPECT_TRUE(entry_exists());
  EXPECT_FALSE(shortcuts_exist());

  run_uninstall(client_, true);  // names already gone count as removed
  EXPECT_EQ(take_page_messages(), std::vector<std::wstring>{L"{\"type\":\"uninstalled\"}"});
  EXPECT_TRUE(app_state().uninstall_done);
  EXPECT_FALSE(path_exists(client_));
  EXPECT_TRUE(dir_exists(root_ / L"Games"));
  EXPECT_FALSE(entry_exists());
}

TEST_F(Uninstall, WithoutTheResourcesTheyAndTheFolderStay) {
  EXPECT_TRUE(remove_client(client_, /*remove_resources=*/false));
  std::vector<os::DirEntry> left;
  ASSERT_TRUE(os::list_directory(client_, left));
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(test::read_text(client_ + L"/client_resources/sub/f"), "x");
  EXPECT_FALSE(shortcuts_exist());
  EXPECT_FALSE(entry_exists());
}

TEST_F(Uninstall, LinksGoAsLinksAndTheirTargetsKeepTheirContents) {
  const std::wstring elsewhere = root_ / L"elsewhere";
  test::make_dirs(elsewhere + L"/keep");
  test::write_text(elsewhere + L"/keep/precious", "mine");
  for (const wchar_t* name : {L"data", L"logs", L"Corvane.exe", L"webview", L"cache"}) {
    test::remove_all(join_path(client_, name));
  }
  if (!test::make_link(join_path(client_, L"data"), elsewhere, /*directory=*/true)) {
    GTEST_SKIP() << "this system makes neither a directory symbolic link nor a junction";
  }
  // A dangling link and a link to a file, where the system makes them.
  (void)test::make_link(join_path(client_, L"logs"), root_ / L"nowhere", false);
  (void)test::make_link(join_path(client_, L"Corvane.exe"), elsewhere + L"/keep/precious", false);
  EXPECT_TRUE(remove_client(client_, true));
  EXPECT_FALSE(path_exists(client_));
  EXPECT_EQ(test::read_text(elsewhere + L"/keep/precious"), "mine");
}

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

TEST_F(Uninstall, AnEmptyFolderNameRemovesNothing) {
  int removals = 0;
  test::ScopedFsFault watch([&removals](os::FsOp op, std::wstring_view, std::wstring_view) {
    if (op == os::FsOp::Delete || op == os::FsOp::RemoveDirectory) ++removals;
    return os::kErrorSuccess;
  });
  EXPECT_FALSE(remove_client(L"", true));
  EXPECT_EQ(removals, 0);
}

TEST_F(Uninstall, InstallModeProposesTheRegisteredFolderElseTheDefault) {
  {
    os::RegistryKey key;
    ASSERT_TRUE(key.create(os::RegistryRoot::CurrentUser, kProgramsKey));
    ASSERT_TRUE(key.set_string(L"InstallLocation", root_ / L"Old/Corvane//"));
  }
  EXPECT_EQ(default_install_dir(), root_ / L"Old/Corvane");  // whether it exists or not
  ASSERT_TRUE(os::delete_registry_tree(os::RegistryRoot::CurrentUser, kProgramsKey));
  EXPECT_EQ(default_install_dir(), unregistered_install_dir());
}

}  // namespace
}  // namespace corvane
