#include "install/shortcuts.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "app/paths.h"
#include "install_env.h"
#include "os/fs.h"
#include "os/text.h"

namespace corvane {
namespace {

// Reads a desktop entry the way a desktop reads it: the string escapes of its values, and the
// quoting of the Exec line's first argument. Test use only.
std::map<std::string, std::string> read_desktop_entry(const std::wstring& path) {
  std::map<std::string, std::string> keys;
  const std::string text = test::read_text(path);
  std::size_t pos = 0;
  bool in_group = false;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.starts_with("[")) {
      in_group = line == "[Desktop Entry]";
      continue;
    }
    const std::size_t eq = line.find('=');
    if (!in_group || eq == std::string::npos) continue;
    std::string value;
    for (std::size_t i = eq + 1; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        const char e = line[++i];
        value.push_back(e == 's' ? ' ' : e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e);
      } else {
        value.push_back(line[i]);
      }
    }
    keys[line.substr(0, eq)] = value;
  }
  return keys;
}

// The program of an Exec value whose program is quoted in whole; empty when it is not.
std::string exec_program(const std::string& exec) {
  if (exec.empty() || exec[0] != '"') return {};
  std::string out;
  for (std::size_t i = 1; i < exec.size(); ++i) {
    const char c = exec[i];
    if (c == '"') return i + 1 == exec.size() ? out : std::string();
    if (c == '\\' && i + 1 < exec.size()) {
      out.push_back(exec[++i]);
    } else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
      out.push_back('%');
      ++i;
    } else if (c == '%') {
      return {};  // a field code would be expanded by the desktop
    } else {
      out.push_back(c);
    }
  }
  return {};
}

class Shortcuts : public test::InstallEnv {};

TEST_F(Shortcuts, PathsFollowTheUsersFolders) {
  EXPECT_EQ(desktop_shortcut_path(), desktop_link());
  EXPECT_EQ(start_menu_shortcut_path(), programs_link());
  test::make_dirs(home() + L"/.config");
  test::write_text(home() + L"/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/\u0420\u0430\u0431\u043e\u0447\u0438\u0439\"\n");
  EXPECT_EQ(desktop_shortcut_path(), home() + L"/\u0420\u0430\u0431\u043e\u0447\u0438\u0439/Corvane.desktop");
}

TEST_F(Shortcuts, AFolderThatCannotBeResolvedGetsNoShortcut) {
  test::ScopedEnv no_home("HOME", std::nullopt);
  test::ScopedEnv no_data("XDG_DATA_HOME", std::nullopt);
  EXPECT_EQ(desktop_shortcut_path(), L"");
  EXPECT_EQ(start_menu_shortcut_path(), L"");
  InstallRequest request;
  request.install_dir = root_ / L"client";
  EXPECT_FALSE(create_shortcut(desktop_shortcut_path(), request.install_dir + L"/Corvane.exe", request));
  EXPECT_FALSE(path_exists(L"/Corvane.desktop"));
}

TEST_F(Shortcuts, LauncherStartsTheClientInItsFolderWhateverThePathHolds) {
  InstallRequest request;
  request.install_dir = root_ / L"\u0418\u0433\u0440\u044b \"q\" $HOME `x` 100% a\\b;c";
  const std::wstring target = join_path(request.install_dir, L"Corvane.exe");
  ASSERT_TRUE(create_shortcut(programs_link(), target, request));  // creates the applications folder
  const auto keys = read_desktop_entry(programs_link());
  EXPECT_EQ(keys.at("Type"), "Application");
  EXPECT_EQ(keys.at("Name"), "Corvane");
  EXPECT_EQ(keys.at("Comment"), "Corvane");
  EXPECT_EQ(exec_program(keys.at("Exec")), os::to_utf8(target));
  EXPECT_EQ(keys.at("Path"), os::to_utf8(request.install_dir));
  EXPECT_EQ(keys.at("Icon"), os::to_utf8(target));
}

TEST_F(Shortcuts, ASecondInstallReplacesTheLauncherInPlace) {
  InstallRequest request;
  request.install_dir = root_ / L"one";
  ASSERT_TRUE(create_shortcut(desktop_shortcut_path(), request.install_dir + L"/Corvane.exe", request));
  request.install_dir = root_ / L"two";
  ASSERT_TRUE(create_shortcut(desktop_shortcut_path(), request.install_dir + L"/Corvane.exe", request));
  EXPECT_EQ(read_desktop_entry(desktop_link()).at("Path"), os::to_utf8(request.install_dir));
  std::vector<os::DirEntry> entries;
  ASSERT_TRUE(os::list_directory(home() + L"/Desktop", entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, L"Corvane.desktop");
}

TEST_F(Shortcuts, AFailedWriteReportsFalse) {
  InstallRequest request;
  request.install_dir = root_ / L"client";
  test::ScopedFsFault fault([](os::FsOp op, std::wstring_view, std::wstring_view) {
    return op == os::FsOp::Write ? os::kErrorDiskFull : os::kErrorSuccess;
  });
  EXPECT_FALSE(create_shortcut(desktop_shortcut_path(), request.install_dir + L"/Corvane.exe", request));
  EXPECT_FALSE(path_exists(desktop_link()));
}

}  // namespace
}  // namespace corvane
