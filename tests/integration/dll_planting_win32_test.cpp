// The engine's command line as a site could leave it in a Downloads folder: beside stand-ins of
// dwmapi.dll, winhttp.dll and bcrypt.dll (tests/support/planted_dll_win32.cpp), which Wine is told
// to prefer to its own ("native, builtin", the order Windows uses for names that are no KnownDLLs).
// A run that installs a release must use the system's WinHTTP and BCrypt and load no stand-in.
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

constexpr const wchar_t* kPlanted[] = {L"dwmapi.dll", L"winhttp.dll", L"bcrypt.dll"};

// Sets an environment variable of this process (and so of the programs it starts) for the life
// of the object.
class ScopedWideEnv {
 public:
  ScopedWideEnv(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t old[4096] = {};
    const DWORD n = GetEnvironmentVariableW(name, old, 4096);
    if (n > 0 && n < 4096) old_ = old;
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedWideEnv() { SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }

 private:
  const wchar_t* name_;
  std::optional<std::wstring> old_;
};

TEST_F(UpdateRunTest, TheCommandLineLoadsNoLibraryFromItsOwnOrTheCurrentFolder) {
  const Tree release = small_release(1);
  publish(release);
  const fs::path downloads = fs::path(work_.path()) / L"Downloads";
  fs::create_directories(downloads);
  fs::copy_file(fs::path(build_tree_path(CORVANE_UPDATE_CLI)), downloads / L"corvane-update.exe");
  const fs::path planted_dir = fs::path(build_tree_path(CORVANE_PLANTED_DIR));
  for (const wchar_t* dll : kPlanted) fs::copy_file(planted_dir / dll, downloads / dll);

  // The stand-ins first, as Windows would take them from the program's folder.
  const ScopedWideEnv overrides(L"WINEDLLOVERRIDES",
                                L"mscoree,mshtml=;winedbg.exe=d;dwmapi,winhttp,bcrypt=n,b");
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
