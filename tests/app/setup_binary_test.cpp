// The built setup program on the paths that need no window.
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>

#include "os/fs.h"
#include "os/text.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

struct Outcome {
  int exit_code = -1;
  std::string errors;  // standard error
};

Outcome run_program(const std::string& program, const std::vector<std::string>& args) {
  std::string command = "'" + program + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  command += " 2>&1 >/dev/null";
  Outcome outcome;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return outcome;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) outcome.errors += buffer;
  const int status = ::pclose(pipe);
  if (WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
  return outcome;
}

TEST(SetupBinary, EndsWithoutAWindowWhereNoneIsNeeded) {
  test::TempDir root;
  test::ScopedEnv home("HOME", root.utf8());
  test::ScopedEnv data("XDG_DATA_HOME", root.utf8() + "/data");
  test::ScopedEnv data_dirs("XDG_DATA_DIRS", root.utf8() + "/machine");
  test::ScopedEnv tmpdir("TMPDIR", root.utf8() + "/tmp");
  test::make_dirs(root / L"tmp");
  test::make_dirs(root / L"client");
  test::write_text(root / L"client/Corvane.exe", "client");
  const std::string setup = CORVANE_SETUP_PROGRAM;

  Outcome o = run_program(setup, {"/uninstall", root.utf8() + "/nothing"});
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.errors, "Corvane: Клиент не найден в указанной папке.\n");
  o = run_program(setup, {});  // install mode needs its window, which this build cannot make
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_EQ(o.errors, "");

  // As "uninstall.exe" in the client folder it hands over to its copy in the temporary folder.
  ASSERT_EQ(os::copy_file(os::from_utf8(setup), root / L"client/uninstall.exe", false), os::kErrorSuccess);
  o = run_program(root.utf8() + "/client/uninstall.exe", {});
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.errors, "");
  std::vector<os::DirEntry> entries;
  ASSERT_TRUE(os::list_directory(root / L"tmp", entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].name.starts_with(L"Corvane-Uninstall-") && entries[0].name.ends_with(L".exe"));
  EXPECT_EQ(test::read_text(root / (L"tmp/" + entries[0].name)), test::read_text(os::from_utf8(setup)));
}

TEST(SetupBinary, AFolderArgumentThatIsNotUtf8NamesThatVeryFolder) {
  test::TempDir root;
  test::ScopedEnv home("HOME", root.utf8());
  test::ScopedEnv data("XDG_DATA_HOME", root.utf8() + "/data");
  test::ScopedEnv tmpdir("TMPDIR", root.utf8());
  const std::string client = root.utf8() + "/caf\xE9";
  ASSERT_EQ(::mkdir(client.c_str(), 0755), 0);
  test::write_text(os::from_utf8_lossless(client + "/Corvane.exe"), "client");
  // The client is found: uninstall mode goes on to its window, which this build cannot make.
  const Outcome o = run_program(CORVANE_SETUP_PROGRAM, {"/uninstall", client});
  EXPECT_EQ(o.errors, "");
  EXPECT_EQ(o.exit_code, 1);
}

}  // namespace
}  // namespace corvane
