#include "install/uninstall.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/paths.h"
#include "install/install_location.h"
#include "os/registry.h"
#include "uninstall_fixture.h"

namespace corvane {
namespace {

using test::Uninstall;

TEST_F(Uninstall, AFileInUseKeepsTheEntryAndFolderUntilARetryRemovesEverything) {
  {
    test::ScopedFsFault busy([this](os::FsOp op, std::wstring_view path, std::wstring_view) {
      return op == os::FsOp::Delete && path == join_path(client_, L"Corvane.exe") ? os::kErrorSharingViolation
                                                                        : os::kErrorSuccess;
    });
    EXPECT_FALSE(run_uninstall(client_, true, page_report()));
  }
  EXPECT_EQ(take_page_messages(),
            std::vector<std::wstring>{L"{\"type\":\"error\",\"message\":\"Не удалось удалить часть файлов. "
                                      L"Закройте игру и клиент, затем повторите.\"}"});
  EXPECT_TRUE(path_exists(client_ + L"/Corvane.exe"));
  EXPECT_FALSE(path_exists(client_ + L"/bin"));  // every other name was still removed
  EXPECT_FALSE(path_exists(client_ + L"/client_resources"));
  EXPECT_TRUE(entry_exists());
  EXPECT_FALSE(shortcuts_exist());

  EXPECT_TRUE(run_uninstall(client_, true, page_report()));  // names already gone count as removed
  EXPECT_EQ(take_page_messages(), std::vector<std::wstring>{L"{\"type\":\"uninstalled\"}"});
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

// A folder swapped for another one while the removal is inside it (the fault hook makes the swap
// the moment the first entry below data/sub is about to go): the removal goes on in the folder it
// opened, and never deletes what was put in the name's place.
TEST_F(Uninstall, AFolderSwappedDuringTheRunIsNotFollowedByName) {
  const std::wstring sub = join_path(join_path(client_, L"data"), L"sub");
  const std::wstring moved = root_ / L"moved-away";
  const std::wstring foreign = root_ / L"foreign";
  test::make_dirs(foreign);
  test::write_text(foreign + L"/f", "not the client's");  // the same name as data/sub/f
  bool swapped = false;
  {
    test::ScopedFsFault swap([&](os::FsOp, std::wstring_view path, std::wstring_view) {
      if (!swapped && path.starts_with(join_path(sub, L""))) {
        swapped = true;
        std::error_code ec;
        std::filesystem::rename(std::filesystem::path(sub), std::filesystem::path(moved), ec);
        EXPECT_FALSE(ec) << ec.message();
        std::filesystem::rename(std::filesystem::path(foreign), std::filesystem::path(sub), ec);
        EXPECT_FALSE(ec) << ec.message();
      }
      return os::kErrorSuccess;
    });
    (void)remove_client(client_, true);
  }
  ASSERT_TRUE(swapped);
  EXPECT_EQ(test::read_text(sub + L"/f"), "not the client's");
  // (The client's own file goes through the opened folder on Linux and Windows; Wine deletes a
  // file when its handle closes by the name it was opened under, so there it stays. The Linux
  // test with a link checks that it goes.)
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
