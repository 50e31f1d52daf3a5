// The engine's command line as a site could leave it in a Downloads folder: beside stand-ins of
// dwmapi.dll and winhttp.dll (tests/support/planted_dll_win32.cpp), which Wine is told
// to prefer to its own ("native, builtin", the order Windows uses for names that are no KnownDLLs).
// A process that had loaded one leaves a mark beside it.
// A run that installs a release must use the system's WinHTTP and load no stand-in.
#include <windows.h>

#include <chrono>
#include <filesystem>

#include "integration/update_fixture.h"
#include "os/text.h"
#include "update/helper_process_win32.h"

namespace corvane::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// bcrypt.dll is not planted here: Wine's own WinHTTP, once a request runs, loads bcrypt.dll by a
// search that takes the program's folder first when Wine is told to prefer native libraries
// (Windows resolves a system library's dependencies in the system folder). The setup's window
// test plants all three, and the import-table test covers both programs.
constexpr const wchar_t* kPlanted[] = {L"dwmapi.dll", L"winhttp.dll"};

TEST_F(UpdateRunTest, TheCommandLineLoadsNoLibraryFromItsOwnOrTheCurrentFolder) {
  const Tree release = small_release(1);
  publish(release);
  const fs::path downloads = fs::path(work_.path()) / L"Downloads";
  fs::create_directories(downloads);
  fs::copy_file(fs::path(build_tree_path(CORVANE_UPDATE_CLI)), downloads / L"corvane-update.exe");
  const fs::path planted_dir = fs::path(build_tree_path(CORVANE_PLANTED_DIR));
  for (const wchar_t* dll : kPlanted) fs::copy_file(planted_dir / dll, downloads / dll);

  // Wine prefers the stand-ins, as Windows would take them from the program's folder: CMake runs
  // these cases with "dwmapi,winhttp,bcrypt=n,b" (WINE_DLL_OVERRIDES).
  // Started from that folder too, as a browser's "open" does.
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(downloads.c_str()));
  std::uint32_t code = 99;
  std::string output;
  const bool ran = run_with_output_pipe((downloads / L"corvane-update.exe").wstring(),
                                        {L"--base-url", os::from_utf8(server_.base_url()), client_.path()}, 60s,
                                        code, output);
  SetCurrentDirectoryW(previous);
  ASSERT_TRUE(ran);
  for (const wchar_t* dll : kPlanted) {
    EXPECT_FALSE(fs::exists(downloads / (std::wstring(dll) + L".loaded"))) << os::to_utf8(dll) << " was loaded";
  }
  // The system's libraries did the work: the release was fetched, checked and installed.
  EXPECT_EQ(code, kUpdated) << output;
  EXPECT_EQ(client_tree(), release);
}

}  // namespace
}  // namespace corvane::test
