// The update run closes a program outside the client folder that has a client library loaded
// (through WM_CLOSE to its window), and leaves alone one that runs from the client folder. The
// helper needs a window, so this runs with a display (Xvfb under Wine).
#include <chrono>

#include "base/paths.h"
#include "integration/update_fixture.h"
#include "os/fs.h"
#include "os/text.h"
#include "update/helper_process_win32.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

TEST_F(UpdateRunTest, ClosesProgramsOutsideTheClientThatHoldItsFilesAndNoOthers) {
  // bin/core.dll is the test library itself, so that programs can load it.
  std::string library;
  ASSERT_TRUE(os::read_file(test_module(), library));
  Tree old_release = small_release(1);
  old_release["bin/core.dll"] = library;
  publish(old_release);
  ASSERT_EQ(run(), kUpdated) << console_;
  publish(small_release(2), "2.0.0");

  // One copy of the helper runs from the client folder, the other from the build folder; both
  // have bin/core.dll loaded.
  const std::wstring inside_program = client_path("bin/tools/holder.exe");
  make_dirs(parent_dir(inside_program));
  ASSERT_EQ(os::copy_file(helper_program(), inside_program, false), os::kErrorSuccess);
  const std::wstring core = client_path("bin/core.dll");
  ChildProcess outside(helper_program(), {L"hold", core, work_ / L"outside.ready"});
  ChildProcess inside(inside_program, {L"hold", core, work_ / L"inside.ready"});
  ASSERT_TRUE(wait_for_file(work_ / L"outside.ready")) << "the helper did not start (no display?)";
  ASSERT_TRUE(wait_for_file(work_ / L"inside.ready"));

  ASSERT_EQ(run(), kUpdated) << console_;
  const std::string name = os::to_utf8(file_name_of(helper_program()));
  EXPECT_NE(console_.find("[*] Obnovlenie: zakryvaem " + name + ", on derzhit fayly klienta.\n"), std::string::npos)
      << console_;
  EXPECT_EQ(console_.find("zakryvaem holder"), std::string::npos) << console_;
  std::uint32_t exit_code = 0;
  EXPECT_TRUE(outside.ended(5s, exit_code));
  EXPECT_EQ(exit_code, kHelperClosedExitCode);
  EXPECT_TRUE(inside.running());
  EXPECT_EQ(read_text(client_path("bin/core.dll")), small_release(2)["bin/core.dll"]);
}

}  // namespace
}  // namespace corvane::test
