// The update run and other processes: programs that hold client files, and a second update of the
// same folder started at the same time.
#include <sys/wait.h>

#include <chrono>
#include <memory>

#include "base/paths.h"
#include "integration/update_fixture.h"
#include "os/fs.h"
#include "os/text.h"
#include "update/helper_process_posix.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

TEST_F(UpdateRunTest, ClosesProgramsOutsideTheClientThatHoldItsFilesAndNoOthers) {
  publish(small_release(1));
  ASSERT_EQ(run(), kUpdated) << console_;
  publish(small_release(2), "2.0.0");

  // One copy of the helper runs from the client folder, the other from the build folder; both
  // have bin/core.dll mapped.
  const std::wstring inside_program = client_path("bin/tools/holder");
  make_dirs(parent_dir(inside_program));
  ASSERT_EQ(os::copy_file(os::from_utf8(helper_program()), inside_program, false), os::kErrorSuccess);
  const std::string core = os::to_utf8(client_path("bin/core.dll"));
  ChildProcess outside(helper_program(), {"map", core, os::to_utf8(work_ / L"outside.ready")});
  ChildProcess inside(os::to_utf8(inside_program), {"map", core, os::to_utf8(work_ / L"inside.ready")});
  ASSERT_TRUE(wait_for_file(work_ / L"outside.ready"));
  ASSERT_TRUE(wait_for_file(work_ / L"inside.ready"));

  ASSERT_EQ(run(), kUpdated) << console_;
  const std::string name = os::to_utf8(file_name_of(os::from_utf8(helper_program())));
  EXPECT_NE(console_.find("[*] Obnovlenie: zakryvaem " + name + ", on derzhit fayly klienta.\n"), std::string::npos)
      << console_;
  EXPECT_EQ(console_.find("zakryvaem holder"), std::string::npos) << console_;
  int status = 0;
  EXPECT_TRUE(outside.ended(5s, status));
  EXPECT_TRUE(inside.running());
  EXPECT_EQ(read_text(client_path("bin/core.dll")), small_release(2)["bin/core.dll"]);
}

#ifdef CORVANE_UPDATE_CLI
TEST_F(UpdateRunTest, TwoUpdatesOfOneFolderAtOnceTakeTurns) {
  const Tree release = small_release(1);
  publish(release);
  // A slow file keeps the first run downloading while the second starts.
  server_.add_fault({.kind = test_cdn::FaultKind::kSlowBody,
                     .path = "/release/" + file_url_path(entry("bin/core.dll")),
                     .bytes_per_second = 100000});
  const std::vector<std::string> args = {"--base-url", server_.base_url(), client_.utf8()};
  ChildProcess first(CORVANE_UPDATE_CLI, args);
  ChildProcess second(CORVANE_UPDATE_CLI, args);
  int first_status = 0;
  int second_status = 0;
  ASSERT_TRUE(first.ended(60s, first_status));
  ASSERT_TRUE(second.ended(60s, second_status));
  ASSERT_TRUE(WIFEXITED(first_status) && WIFEXITED(second_status));
  // One installs, the other then finds the client current; no file is fetched twice.
  EXPECT_EQ(WEXITSTATUS(first_status) + WEXITSTATUS(second_status), 1);
  EXPECT_EQ(manifest_fetches().requests, 2u);
  for (const ManifestFile& f : files_) {
    // The second of the equal files is copied, and an empty file is never asked for.
    if (f.path != "data/ngtables/dup_b.dat" && f.size != 0) {
      EXPECT_EQ(fetched(f.path).requests, 1u) << f.path;
    }
  }
  EXPECT_EQ(client_tree(), release);

  // The command line never makes the client folder itself.
  const std::wstring missing = work_ / L"no-such-client";
  ChildProcess refused(CORVANE_UPDATE_CLI, {"--base-url", server_.base_url(), os::to_utf8(missing)});
  int refused_status = 0;
  ASSERT_TRUE(refused.ended(30s, refused_status));
  EXPECT_TRUE(WIFEXITED(refused_status) && WEXITSTATUS(refused_status) == kFailed);
  EXPECT_FALSE(os::file_info(missing).has_value());
}
#endif

}  // namespace
}  // namespace corvane::test
