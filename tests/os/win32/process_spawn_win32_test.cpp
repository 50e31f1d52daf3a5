// Starting programs: the command line as the started program reads it back, the program's own
// path, and the delayed delete of a program's file after it has ended.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/record_launch.h"
#include "os/fs.h"
#include "os/process_spawn.h"
#include "os/text.h"
#include "os/win32/command_line_win32.h"
#include "support/temp_dir.h"

namespace corvane::os {
namespace {

using namespace std::chrono_literals;

// Arguments that a naive quoting gets wrong.
const std::vector<std::wstring> kNastyArguments = {
    L"/uninstall", L"C:\\", L"C:\\Program Files\\", L"D:\\Games\\Corvane\\\\", L"two words", L"", L"a\"b",
    L"\\\"", L"\\\\", L"\"", L"\"\"", L"tab\there", L" lead", L"trail ", L"\u0418\u0433\u0440\u044b \U0001F600",
    L"50% & ^ | < > ( )", L"a\\\\\"b\\c",
};

std::vector<std::wstring> split_back(const std::wstring& line) {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(line.c_str(), &argc);
  std::vector<std::wstring> out;
  if (argv == nullptr) return out;
  for (int i = 0; i < argc; ++i) out.emplace_back(argv[i]);
  ::LocalFree(argv);
  return out;
}

std::string record_of(const std::vector<std::wstring>& args) {
  std::string text;
  for (const std::wstring& a : args) text += to_utf8(a) + "\n";
  return text;
}

TEST(CommandLine, CommandLineToArgvWReadsBackEveryArgument) {
  const std::wstring program = L"C:\\Program Files\\Corvane\\Corvane-Uninstall.exe";
  const auto line = win32::build_command_line(program, kNastyArguments);
  ASSERT_TRUE(line);
  std::vector<std::wstring> expected{program};
  expected.insert(expected.end(), kNastyArguments.begin(), kNastyArguments.end());
  EXPECT_EQ(split_back(*line), expected) << to_utf8(*line);
  EXPECT_EQ(win32::quote_argument(L"C:\\"), L"\"C:\\\\\"");
  EXPECT_EQ(win32::quote_argument(L"C:\\Games\\Corvane"), L"\"C:\\Games\\Corvane\"");
  EXPECT_FALSE(win32::build_command_line(L"C:\\a\"b.exe", {}));
  EXPECT_FALSE(win32::build_command_line(L"C:\\a.exe", {std::wstring(L"x\0y", 3)}));
}

TEST(ProcessSpawn, AStartedProgramGetsEveryArgumentUnchanged) {
  test::TempDir dir;
  const std::wstring folder = dir / L"C & D \u0416";
  test::make_dirs(folder);
  const std::wstring program = folder + L"\\record launch.exe";
  test::install_record_launch_program(program);
  ASSERT_TRUE(start_process(program, kNastyArguments, folder, /*new_console=*/false));
  EXPECT_EQ(test::wait_for_launch_record(folder), record_of(kNastyArguments));

  EXPECT_FALSE(start_process(folder + L"\\missing.exe", {}, folder, false));
  EXPECT_FALSE(start_process(program, {}, folder + L"\\missing", false));
}

TEST(ProcessSpawn, ModulePathIsTheRunningProgramsFullPath) {
  const std::wstring own = module_file_path();
  ASSERT_GE(own.size(), 3u);
  EXPECT_EQ(own.substr(1, 2), L":\\");
  EXPECT_TRUE(own.ends_with(L"\\corvane_os_tests.exe")) << to_utf8(own);
  EXPECT_TRUE(file_info(own));
  // A copy started elsewhere names its own file.
  test::TempDir dir;
  const std::wstring program = dir / L"\u041a\u043e\u043f\u0438\u044f.exe";
  test::install_record_launch_program(program);
  ASSERT_TRUE(start_process(program, {L"--module-path"}, dir.path(), false));
  EXPECT_EQ(test::wait_for_launch_record(dir.path()), "--module-path\n" + to_utf8(program) + "\n");
}

TEST(ProcessSpawn, TheSelfDeleteRemovesTheProgramAfterItHasEnded) {
  test::TempDir dir;
  const std::wstring program = dir / L"Corvane-Uninstall.exe";
  test::install_record_launch_program(program);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(start_process(program, {L"--delete-self"}, dir.path(), false));
  ASSERT_EQ(test::wait_for_launch_record(dir.path()), "--delete-self\n");
  // cmd.exe waits about two seconds before it deletes, by which time the program has ended.
  while (file_info(program) && std::chrono::steady_clock::now() - started < 30s) std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(file_info(program));
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  RecordProperty("self_delete_ms", static_cast<int>(took.count()));
  EXPECT_TRUE(file_info(dir / L"launch-record.txt"));  // only the program's own file goes
}

// Waits up to 30 s for `path` to go.
bool gone_within_30s(const std::wstring& path) {
  const auto started = std::chrono::steady_clock::now();
  while (file_info(path) && std::chrono::steady_clock::now() - started < 30s) std::this_thread::sleep_for(50ms);
  return !file_info(path);
}

// A path that cmd.exe would read as holding a variable is never handed to it: the file whose name
// the variable's value spells stays, and so does the program's own (left for a later relaunch).
TEST(ProcessSpawn, TheSelfDeleteNeverHandsCmdAPathItWouldExpand) {
  test::TempDir dir;
  wchar_t os_value[64] = {};
  if (::GetEnvironmentVariableW(L"OS", os_value, 64) == 0) {
    ::SetEnvironmentVariableW(L"OS", L"Windows_NT");
    ::GetEnvironmentVariableW(L"OS", os_value, 64);
  }
  const std::wstring own = dir / L"a%OS%b";
  const std::wstring decoy = dir / (L"a" + std::wstring(os_value) + L"b");
  test::make_dirs(own);
  test::make_dirs(decoy);
  const std::wstring program = own + L"\\Corvane-Uninstall.exe";
  test::install_record_launch_program(program);
  test::install_record_launch_program(decoy + L"\\Corvane-Uninstall.exe");
  ASSERT_TRUE(start_process(program, {L"--delete-self"}, own, false));
  ASSERT_EQ(test::wait_for_launch_record(own), "--delete-self\n");
  // Longer than the delay of a delete that was started.
  std::this_thread::sleep_for(5s);
  EXPECT_TRUE(file_info(decoy + L"\\Corvane-Uninstall.exe")) << "another file was deleted in its place";
  EXPECT_TRUE(file_info(program));

  // cmd.exe's operators are plain text between the quotes: such a program's file goes.
  const std::wstring operators = dir / L"a & b (c) ^d; e=f";
  test::make_dirs(operators);
  const std::wstring other = operators + L"\\Corvane-Uninstall.exe";
  test::install_record_launch_program(other);
  ASSERT_TRUE(start_process(other, {L"--delete-self"}, operators, false));
  ASSERT_EQ(test::wait_for_launch_record(operators), "--delete-self\n");
  EXPECT_TRUE(gone_within_30s(other));
}

// A program named like the delay's in the folder the program was started from is never run.
TEST(ProcessSpawn, TheSelfDeleteRunsNothingFromTheProgramsFolder) {
  test::TempDir dir;
  const std::wstring downloads = dir / L"Downloads";
  test::make_dirs(downloads);
  const std::wstring program = downloads + L"\\Corvane-Setup.exe";
  test::install_record_launch_program(program);
  for (const wchar_t* name : {L"ping.bat", L"ping.cmd", L"cmd.bat"}) {
    test::write_text(downloads + L"\\" + name, "@echo planted > \"%~dp0planted-ran.txt\"\r\n");
  }
  ASSERT_TRUE(start_process(program, {L"--delete-self"}, downloads, false));
  ASSERT_EQ(test::wait_for_launch_record(downloads), "--delete-self\n");
  EXPECT_TRUE(gone_within_30s(program));
  std::this_thread::sleep_for(500ms);
  EXPECT_FALSE(file_info(downloads + L"\\planted-ran.txt"));
}

}  // namespace
}  // namespace corvane::os
