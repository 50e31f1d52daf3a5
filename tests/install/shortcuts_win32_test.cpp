// The shortcuts as the Windows shell sees them: real .lnk files in the user's Desktop and
// Start-menu programs folders, read back with IShellLinkW.
#include <gtest/gtest.h>

#include "base/paths.h"
#include "install/shortcuts.h"
#include "install_env.h"
#include "os/fs.h"
#include "os/shell.h"
#include "os/text.h"
#include "support/shell_link_win32.h"

namespace corvane {
namespace {

class ShortcutsWin32 : public test::InstallEnv {
 protected:
  os::ThreadApartment apartment_;  // as the install worker's thread has it
};

TEST_F(ShortcutsWin32, BothLinksStartTheClientInItsFolderAndAreReplacedInPlace) {
  ASSERT_TRUE(apartment_.initialized());
  EXPECT_EQ(desktop_shortcut_path(), desktop_link());
  EXPECT_EQ(start_menu_shortcut_path(), programs_link());  // directly in Programs, no sub-folder

  InstallRequest request{root_ / L"\u0418\u0433\u0440\u044b & Co\\Corvane", L"", true, true};
  test::make_dirs(request.install_dir);
  const std::wstring target = join_path(request.install_dir, L"Corvane.exe");
  test::write_text(target, "MZ");
  for (const std::wstring& link : {desktop_link(), programs_link()}) {
    ASSERT_TRUE(create_shortcut(link, target, request)) << os::to_utf8(link);
    const auto loaded = test::load_shell_link(link);
    ASSERT_TRUE(loaded) << os::to_utf8(link);
    EXPECT_EQ(loaded->target, target);
    EXPECT_EQ(loaded->working_dir, request.install_dir);
    EXPECT_EQ(loaded->description, L"Corvane");
    EXPECT_EQ(loaded->icon, target);
    EXPECT_EQ(loaded->icon_index, 0);
  }

  // A second install elsewhere overwrites both links; no second file appears.
  request.install_dir = root_ / L"two";
  test::make_dirs(request.install_dir);
  ASSERT_TRUE(create_shortcut(desktop_link(), join_path(request.install_dir, L"Corvane.exe"), request));
  EXPECT_EQ(test::load_shell_link(desktop_link())->working_dir, request.install_dir);
  std::vector<os::DirEntry> entries;
  ASSERT_TRUE(os::list_directory(test::system_desktop_folder(), entries));
  int links = 0;
  for (const os::DirEntry& e : entries) links += e.name.starts_with(L"Corvane") ? 1 : 0;
  EXPECT_EQ(links, 1);
}

}  // namespace
}  // namespace corvane
