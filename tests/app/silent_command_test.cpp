#include "app/silent_command.h"

#include <gtest/gtest.h>

#include "os/platform.h"

namespace corvane {
namespace {

// A full path on this platform: "C:\<rest>" on Windows, "/<rest>" on Linux.
std::wstring full(std::wstring rest) {
  if constexpr (os::kIsWindows) {
    for (wchar_t& c : rest) c = c == L'/' ? L'\\' : c;
    return L"C:\\" + rest;
  }
  return L"/" + rest;
}

const std::wstring kSetup = full(L"Downloads/Corvane-Setup.exe");
const std::wstring kUninstaller = full(L"Games/Corvane/uninstall.exe");

// The problem with `args` (after the program's name) of the executable `module`, and what was read.
std::string parse(std::vector<std::wstring> args, SilentCommand& command, const std::wstring& module = kSetup) {
  args.insert(args.begin(), module);
  return parse_silent_command(args, module, command);
}

TEST(SilentCommand, OnlyAnArgumentS_SelectsTheRunWithoutAWindow) {
  EXPECT_TRUE(is_silent_command({kSetup, L"/S"}));
  EXPECT_TRUE(is_silent_command({kSetup, L"/uninstall", full(L"x"), L"/s"}));
  EXPECT_FALSE(is_silent_command({kSetup}));
  EXPECT_FALSE(is_silent_command({L"/S"}));  // the program's own name is no argument
  EXPECT_FALSE(is_silent_command({kSetup, L"/SILENT", L"/S=1", L"S"}));
}

TEST(SilentCommand, InstallSwitchesInAnyOrderAndLetterCase) {
  SilentCommand c;
  EXPECT_EQ(parse({L"/S"}, c), "");
  EXPECT_FALSE(c.uninstall);
  EXPECT_EQ(c.client_dir, L"");  // the form's proposal, chosen later
  EXPECT_EQ(c.game_dir, L"");
  EXPECT_TRUE(c.desktop_shortcut && c.start_menu_shortcut);
  EXPECT_EQ(c.log_path, L"");

  EXPECT_EQ(parse({L"/nostartmenu", L"/log=" + full(L"logs/setup log.txt"), L"/gta=" + full(L"Games/GTA V/"),
                   L"/NoDesktop", L"/D=" + full(L"My Games/Corvane Client/"), L"/s"},
                  c),
            "");
  // The values run to the end of their argument, spaces included; folders lose trailing separators.
  EXPECT_EQ(c.client_dir, full(L"My Games/Corvane Client"));
  EXPECT_EQ(c.game_dir, full(L"Games/GTA V"));
  EXPECT_EQ(c.log_path, full(L"logs/setup log.txt"));
  EXPECT_FALSE(c.desktop_shortcut);
  EXPECT_FALSE(c.start_menu_shortcut);
  // An unquoted "/D=" folder with spaces arrives in pieces; they are one folder up to the next switch.
  EXPECT_EQ(parse({L"/S", L"/D=" + full(L"My"), L"Corvane", L"Client", L"/NOSTARTMENU"}, c), "");
  EXPECT_EQ(c.client_dir, full(L"My Corvane Client"));
  EXPECT_FALSE(c.start_menu_shortcut);
  // "=" inside a value is part of it.
  EXPECT_EQ(parse({L"/S", L"/D=" + full(L"a=b")}, c), "");
  EXPECT_EQ(c.client_dir, full(L"a=b"));
}

TEST(SilentCommand, UninstallFormsNameTheirFolder) {
  SilentCommand c;
  // The uninstaller in the client folder: its own folder, found later.
  EXPECT_EQ(parse({L"/S", L"/LOG=" + full(L"u.log")}, c, kUninstaller), "");
  EXPECT_TRUE(c.uninstall);
  EXPECT_EQ(c.client_dir, L"");
  EXPECT_EQ(c.log_path, full(L"u.log"));
  // The setup (or the uninstaller's copy) told the folder.
  EXPECT_EQ(parse({L"/UNINSTALL", full(L"Games/Corvane/"), L"/S"}, c), "");
  EXPECT_TRUE(c.uninstall);
  EXPECT_EQ(c.client_dir, full(L"Games/Corvane"));
  EXPECT_EQ(parse({L"/S", L"/uninstall", full(L"Games/Corvane")}, c), "");
  EXPECT_EQ(c.client_dir, full(L"Games/Corvane"));
  // A named uninstaller takes its first plain argument as the folder, as the window does.
  EXPECT_EQ(parse({full(L"Other/Corvane"), L"/S"}, c, kUninstaller), "");
  EXPECT_EQ(c.client_dir, full(L"Other/Corvane"));
}

TEST(SilentCommand, RefusesWhatItCannotRead) {
  struct Case {
    std::vector<std::wstring> args;
    std::string problem_part;
    std::wstring module = kSetup;
  };
  const std::vector<Case> cases = {
      {{L"/S", L"/X"}, "neizvestnyy parametr \"/X\""},
      {{L"/S", L"/Dfolder"}, "neizvestnyy parametr \"/Dfolder\""},
      {{L"/S", full(L"Games/Corvane")}, "neizvestnyy parametr"},  // a folder without "/D="
      {{L"/S", L"/S"}, "\"/S\" ukazan dvazhdy"},
      {{L"/S", L"/D=" + full(L"a"), L"/D=" + full(L"b")}, "\"/D=\" ukazan dvazhdy"},
      {{L"/S", L"/D="}, "/D= bez znacheniya"},
      {{L"/S", L"/GTA="}, "/GTA= bez znacheniya"},
      {{L"/S", L"/D=Games\\Corvane"}, "/D= trebuet polnogo puti"},
      {{L"/S", L"/LOG=setup.log"}, "/LOG= trebuet polnogo puti"},
      {{L"/D=" + full(L"a")}, "net klyucha /S"},
      {{L"/uninstall", full(L"Games/Corvane"), L"/S", L"/NODESKTOP"}, "\"/NODESKTOP\" otnositsya tolko k ustanovke"},
      {{L"/S", L"/GTA=" + full(L"g")}, "\"/GTA=\" otnositsya tolko k ustanovke", kUninstaller},
      {{L"/uninstall", full(L"Games/Corvane"), full(L"Games/Other"), L"/S"}, "neizvestnyy parametr"},
      {{L"/uninstall", L"Games", L"/S"}, "papka klienta trebuet polnogo puti"},
      {{full(L"Games/Corvane"), L"/uninstall", L"/S"}, "neizvestnyy parametr"},  // a folder before the flag
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args.back()) + " " + c.problem_part);
    SilentCommand command;
    const std::string problem = parse(c.args, command, c.module);
    EXPECT_NE(problem.find(c.problem_part), std::string::npos) << problem;
  }
  // What could be read is kept, so that the refusal reaches the log.
  SilentCommand command;
  EXPECT_NE(parse({L"/S", L"/X", L"/LOG=" + full(L"s.log")}, command), "");
  EXPECT_EQ(command.log_path, full(L"s.log"));
}

}  // namespace
}  // namespace corvane
