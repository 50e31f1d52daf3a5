// The built setup program without a window ("/S") against the loopback test CDN on the port this
// build was configured with, which every worktree's tests share: each test holds the port's lock
// file (flock /tmp/corvane-<port>.lock) while it serves there. No display is given to the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "os/fs.h"
#include "os/text.h"
#include "release_builder/release.h"
#include "support/temp_dir.h"
#include "support/test_signing.h"
#include "test_cdn.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

// Holds the port's lock file for the life of the object.
class PortLock {
 public:
  PortLock() : fd_(::open(("/tmp/corvane-" + std::to_string(CORVANE_CDN_PORT) + ".lock").c_str(),
                          O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~PortLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

std::string quoted(const std::string& s) { return "'" + s + "'"; }

class SilentBinary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lock_.held());
    for (const wchar_t* dir : {L"home", L"tmp", L"run", L"source/bin", L"GTA V", L"logs"}) test::make_dirs(root_ / dir);
    test::write_text(root_ / L"GTA V/GTA5.exe", "");
    test::write_text(root_ / L"source/Corvane.exe", std::string(70000, 'c'));
    test::write_text(root_ / L"source/bin/core.dll", "core");
    tools::ReleaseOptions options;
    options.source = root_ / L"source";
    options.out = root_ / L"cdn/release";
    options.pack_globs = {"Corvane.exe"};
    options.block_size = 65536;
    options.signing = test::channel_signing();
    std::vector<ManifestFile> files;
    std::string problem;
    ASSERT_TRUE(tools::build_release(options, files, problem)) << problem;
    // Tests of other build trees that do not take the port's lock may still be serving there.
    const auto end = std::chrono::steady_clock::now() + 120s;
    while (!server_.start(os::to_utf8(root_ / L"cdn"), CORVANE_CDN_PORT)) {
      ASSERT_LT(std::chrono::steady_clock::now(), end) << "port " << CORVANE_CDN_PORT << " stays taken";
      std::this_thread::sleep_for(500ms);
    }
  }

  // Runs `program` with `args` in the test's own user environment, without a display; its exit code.
  int run(const std::string& program, const std::vector<std::string>& args) {
    const std::string r = root_.utf8();
    std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY HOME=" + quoted(r + "/home") +
                          " XDG_DATA_HOME=" + quoted(r + "/home/.local/share") +
                          " XDG_CONFIG_HOME=" + quoted(r + "/home/.config") + " XDG_DATA_DIRS=" + quoted(r + "/machine") +
                          " XDG_RUNTIME_DIR=" + quoted(r + "/run") + " TMPDIR=" + quoted(r + "/tmp") + " " +
                          quoted(program);
    for (const std::string& a : args) command += " " + quoted(a);
    command += " >" + quoted(r + "/stdout.txt") + " 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string log() const { return test::read_text(root_ / L"logs/setup.log"); }
  bool logged(const std::string& text) const { return log().find(text) != std::string::npos; }
  std::string path(const wchar_t* relative) const { return os::to_utf8(root_ / relative); }

  // Waits until nothing is at `relative`; false after `limit`.
  bool wait_gone(const wchar_t* relative, std::chrono::seconds limit = 30s) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (os::file_info(root_ / relative)) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(100ms);
    }
    return true;
  }

  PortLock lock_;
  test::TempDir root_;
  test_cdn::Server server_;
  const std::string log_arg_ = "/LOG=" + os::to_utf8(root_ / L"logs/setup.log");
};

TEST_F(SilentBinary, InstallsThenItsUninstallerRemovesTheClientThroughItsCopy) {
  // (Every exit code and its log line is shown by the runs in the test process, silent_setup_test.)
  ASSERT_EQ(run(CORVANE_SETUP_PROGRAM, {"/S", "/D=" + path(L"My Games/Corvane"), "/GTA=" + path(L"GTA V"), log_arg_}),
            0)
      << log();
  EXPECT_EQ(test::read_text(root_ / L"My Games/Corvane/Corvane.exe"), std::string(70000, 'c'));
  EXPECT_EQ(test::read_text(root_ / L"My Games/Corvane/bin/core.dll"), "core");
  EXPECT_EQ(test::read_text(root_ / L"My Games/Corvane/uninstall.exe"),
            test::read_text(os::from_utf8(CORVANE_SETUP_PROGRAM)));
  EXPECT_NE(test::read_text(root_ / L"My Games/Corvane/launcher.json").find("GTA V"), std::string::npos);
  EXPECT_TRUE(os::file_info(root_ / L"home/Desktop/Corvane.desktop"));
  EXPECT_TRUE(os::file_info(root_ / L"home/.local/share/applications/Corvane.desktop"));
  EXPECT_TRUE(logged("[*] Ustanovka zavershena: versiya 1.0.0.\n[*] Kod zaversheniya: 0.\n")) << log();
  // The same lines went to standard output.
  EXPECT_NE(test::read_text(root_ / L"stdout.txt").find("[*] Ustanovka zavershena"), std::string::npos);

  // The uninstaller hands over to its copy in the temporary folder and ends; the copy removes the
  // client, its own file, and appends its lines to the same log.
  EXPECT_EQ(run(path(L"My Games/Corvane/uninstall.exe"), {"/S", log_arg_}), 0);
  EXPECT_TRUE(wait_gone(L"My Games/Corvane"));
  EXPECT_FALSE(os::file_info(root_ / L"home/Desktop/Corvane.desktop"));
  EXPECT_FALSE(os::file_info(root_ / L"home/.local/share/applications/Corvane.desktop"));
  std::vector<os::DirEntry> left;
  ASSERT_TRUE(os::list_directory(root_ / L"tmp", left));
  EXPECT_TRUE(left.empty()) << "the copy deletes itself";
  EXPECT_TRUE(logged("[*] Udalenie prodolzhit kopiya programmy udaleniya iz vremennoy papki.\n")) << log();
  EXPECT_TRUE(logged("[*] Udalenie zaversheno.\n[*] Kod zaversheniya: 0.\n")) << log();
}

}  // namespace
}  // namespace corvane
