#include "install/shortcuts.h"

#include <gtest/gtest.h>

#include <map>

#include "base/paths.h"
#include "install_env.h"
#include "os/fs.h"
#include "os/text.h"

namespace corvane {
namespace {

// The keys of a desktop entry as a desktop reads them: value escapes undone, and for Exec the
// program's quoting undone as well (empty when it is not one quoted argument). Test use only.
std::map<std::string, std::string> read_desktop_entry(const std::wstring& path) {
  std::map<std::string, std::string> keys;
  const std::string text = test::read_text(path);
  for (std::size_t pos = 0, end; pos < text.size(); pos = end + 1) {
    end = std::min(text.find('\n', pos), text.size());
    const std::string line = text.substr(pos, end - pos);
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value;
    for (std::size_t i = eq + 1; i < line.size(); ++i) {
      const char c = line[i] == '\\' && i + 1 < line.size() ? line[++i] : '\0';
      value.push_back(c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c ? c : line[i]);
    }
    keys[line.substr(0, eq)] = value;
  }
  std::string program;
  const std::string exec = keys["Exec"];
  for (std::size_t i = 1; !exec.empty() && exec[0] == '"' && i < exec.size(); ++i) {
    if (exec[i] == '"') {
      keys["Exec"] = i + 1 == exec.size() ? program : "";
      return keys;
    }
    if (exec[i] == '%' && (i + 1 == exec.size() || exec[++i] != '%')) break;  // a field code
    program.push_back(exec[i] == '\\' ? exec[++i] : exec[i]);
  }
  keys["Exec"] = "";
  return keys;
}

using Shortcuts = test::InstallEnv;

TEST_F(Shortcuts, PathsFollowTheUsersFoldersOrAreSkipped) {
  EXPECT_EQ(desktop_shortcut_path(), desktop_link());
  EXPECT_EQ(start_menu_shortcut_path(), programs_link());
  test::make_dirs(home() + L"/.config");
  test::write_text(home() + L"/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/\u0420\u0430\u0431\u043e\u0447\u0438\u0439\"\n");
  EXPECT_EQ(desktop_shortcut_path(), home() + L"/\u0420\u0430\u0431\u043e\u0447\u0438\u0439/Corvane.desktop");
  test::ScopedEnv no_home("HOME", std::nullopt);
  test::ScopedEnv no_data("XDG_DATA_HOME", std::nullopt);
  EXPECT_EQ(desktop_shortcut_path(), L"");
  EXPECT_EQ(start_menu_shortcut_path(), L"");
  EXPECT_FALSE(create_shortcut(L"", L"/c/Corvane.exe", InstallRequest{L"/c", L"", true, true}));
}

TEST_F(Shortcuts, TheLauncherStartsTheClientWhateverItsPathHoldsAndIsReplacedInPlace) {
  InstallRequest request{root_ / L"\u0418\u0433\u0440\u044b \"q\" $HOME `x` 100% a\\b;c", L"", true, true};
  const std::wstring target = join_path(request.install_dir, L"Corvane.exe");
  ASSERT_TRUE(create_shortcut(programs_link(), target, request));  // creates the applications folder
  auto keys = read_desktop_entry(programs_link());
  EXPECT_EQ(keys["Type"], "Application");
  EXPECT_EQ(keys["Name"], "Corvane");
  EXPECT_EQ(keys["Comment"], "Corvane");
  EXPECT_EQ(keys["Exec"], os::to_utf8(target));
  EXPECT_EQ(keys["Path"], os::to_utf8(request.install_dir));
  EXPECT_EQ(keys["Icon"], os::to_utf8(target));

  request.install_dir = root_ / L"two";
  ASSERT_TRUE(create_shortcut(programs_link(), request.install_dir + L"/Corvane.exe", request));
  EXPECT_EQ(read_desktop_entry(programs_link())["Path"], os::to_utf8(request.install_dir));
  std::vector<os::DirEntry> entries;
  ASSERT_TRUE(os::list_directory(parent_dir(programs_link()), entries));
  EXPECT_EQ(entries.size(), 1u);
}

}  // namespace
}  // namespace corvane
