// A client folder on a volume that cannot hold the update: the run says so before it asks for a
// single file, and touches nothing. The volume is a small tmpfs in a mount namespace of a child
// process; the run and its checks happen in the child, which writes what it saw to a file.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "base/paths.h"
#include "integration/update_fixture.h"
#include "os/text.h"
#include "support/child_process.h"

namespace corvane::test {
namespace {

// What the child saw of one run: key=value lines.
std::map<std::string, std::string> read_report(const std::wstring& path) {
  std::map<std::string, std::string> report;
  std::istringstream lines(read_text(path));
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) report[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return report;
}

class DiskSpaceTest : public UpdateRunTest {
 protected:
  // In a child: a tmpfs of `size` bytes on a fresh folder, `installed` written into it as the client,
  // one run; its result, its console and whether the client was left as it was go to the report.
  // With `staging_only` the tmpfs is the staging folder of a client folder on the test's own volume.
  std::map<std::string, std::string> run_on_tmpfs(std::uint64_t size, const Tree& installed,
                                                  bool staging_only = false) {
    const std::wstring folder = work_ / L"small-volume";
    make_dirs(staging_only ? join_path(folder, L"update") : folder);
    const std::wstring report = work_ / L"report.txt";
    const int code = run_in_mount_namespace([&] {
      if (!mount_tmpfs(staging_only ? join_path(folder, L"update") : folder, false, size)) return 90;
      client_override_ = folder;
      for (const auto& [path, content] : installed) put_client_file(path, content);
      const std::uint32_t result = run();
      std::string console = console_.substr(0, console_.find('\r'));
      std::replace(console.begin(), console.end(), '\n', '|');  // one line of the report
      std::ofstream out(os::to_utf8(report));
      out << "code=" << result << "\nstatus=" << result_.status << "\nerror=" << result_.error_code
          << "\nneeded=" << result_.space_needed << "\nfree=" << result_.space_free
          << "\nuntouched=" << (client_tree() == installed) << "\nconsole=" << console;
      return 0;
    });
    EXPECT_EQ(code, 0) << "the child could not mount a tmpfs";
    return read_report(report);
  }
};

TEST_F(DiskSpaceTest, AnUpdateThatDoesNotFitFailsBeforeItsFirstFileRequestAndTouchesNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  Tree release = small_release(2);
  release["bin/game.rpf"] = noise(3u << 20, 41);
  publish(release);
  const Tree installed = {{"Corvane.exe", "old exe"}, {"bin/user.cfg", "volume=7\n"}};

  server_.reset_counters();
  std::map<std::string, std::string> seen = run_on_tmpfs(4u << 20, installed);
  EXPECT_EQ(seen["code"], std::to_string(kFailed));
  EXPECT_EQ(seen["status"], std::to_string(kStatusWriteFailed));
  EXPECT_EQ(seen["error"], "112");
  EXPECT_EQ(seen["untouched"], "1");
  const std::uint64_t needed = std::stoull(seen["needed"]);
  const std::uint64_t free_bytes = std::stoull(seen["free"]);
  EXPECT_GT(needed, 3u << 20);  // the downloads and the reserve
  EXPECT_LE(free_bytes, 4u << 20);
  EXPECT_GT(needed, free_bytes);
  EXPECT_NE(seen["console"].find("[!] Obnovlenie: nedostatochno mesta na diske: nuzhno "), std::string::npos)
      << seen["console"];
  // The manifest was fetched; no file was asked for.
  EXPECT_EQ(manifest_fetches().requests, 1u);
  EXPECT_EQ(release_requests(), 1u);

  // On a volume with room the same run goes ahead.
  server_.reset_counters();
  seen = run_on_tmpfs(64u << 20, installed);
  EXPECT_EQ(seen["code"], std::to_string(kUpdated)) << seen["console"];
  EXPECT_EQ(seen["needed"], "0");
  EXPECT_GT(release_requests(), 1u);
}

// A staging folder that is a volume of its own (a mount in its place) can never be moved from into
// the client folder: the run says so before it downloads anything, rather than after.
TEST_F(DiskSpaceTest, AStagingFolderOnAnotherVolumeFailsBeforeItsFirstFileRequest) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  publish(small_release(2));
  const Tree installed = {{"bin/user.cfg", "volume=7\n"}};
  server_.reset_counters();
  std::map<std::string, std::string> seen = run_on_tmpfs(64u << 20, installed, /*staging_only=*/true);
  EXPECT_EQ(seen["code"], std::to_string(kFailed));
  EXPECT_EQ(seen["status"], std::to_string(kStatusWriteFailed));
  EXPECT_EQ(seen["error"], "17");
  EXPECT_EQ(release_requests(), 1u) << seen["console"];  // the manifest only
}

}  // namespace
}  // namespace corvane::test
