// Corvane-Setup.exe itself under Wine with a display (Xvfb). Wine has no WebView2 runtime, so the
// window is created, cloaked, and the missing-runtime prompt follows; the tests answer the boxes as
// a user would and read how the process ends. A runtime that is there but cannot be used (a
// stand-in without its creation entry, named by WEBVIEW2_BROWSER_EXECUTABLE_FOLDER) is tried twice
// and then told with its error code. Each test runs a copy of the program in a folder of its own.
// A stand-in dwmapi.dll (fake_dwmapi.cpp) in the system folder of this test's Wine prefix shows what
// the program asked of DWM: the program takes that library from the system folder only.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr wchar_t kRuntimeMissing[] =
    L"Для установщика нужен компонент Microsoft Edge WebView2.\n\n"
    L"Открыть страницу загрузки? После установки компонента запустите установщик снова.";
constexpr UINT kBoxTextId = 0xFFFF;  // the static control that holds a message box's text

fs::path own_folder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

// A file of the build, seen from Wine (the Linux root is drive Z:).
fs::path build_path(const char* configured) {
  std::wstring path = L"Z:";
  for (const char* c = configured; *c; ++c) path += static_cast<wchar_t>(*c == '/' ? '\\' : *c);
  return path;
}

// The program as built.
fs::path setup_program() { return build_path(CORVANE_SETUP_PROGRAM); }

constexpr const wchar_t* kPlanted[] = {L"dwmapi.dll", L"winhttp.dll", L"bcrypt.dll"};

fs::path system_folder() {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  return system;
}

fs::path temp_folder() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  return temp;
}

std::wstring window_text(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

std::wstring class_name(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::wstring image_name(DWORD process_id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (!process) return {};
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  std::wstring name;
  if (QueryFullProcessImageNameW(process, 0, path, &size)) name = fs::path(path).filename().wstring();
  CloseHandle(process);
  return name;
}

// The first visible top-level window for which `match` holds, waiting up to `limit`.
HWND wait_for_window(const std::function<bool(HWND)>& match, std::chrono::milliseconds limit = 60s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    struct Search {
      const std::function<bool(HWND)>* match;
      HWND found;
    } search{&match, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
          auto* s = reinterpret_cast<Search*>(data);
          if (IsWindowVisible(window) && (*s->match)(window)) {
            s->found = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    std::this_thread::sleep_for(100ms);
  }
  return nullptr;
}

// Whether `name` is that of an uninstaller's copy in the temporary folder:
// "Corvane-Uninstall-" + 8 hexadecimal digits + ".exe".
bool is_uninstall_copy_name(const std::wstring& name) {
  constexpr std::wstring_view stem = L"Corvane-Uninstall-";
  if (name.size() != stem.size() + 8 + 4 || !name.starts_with(stem) || !name.ends_with(L".exe")) return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(stem.size()), name.end() - 4,
                     [](wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'); });
}

// The uninstaller copies in the temporary folder.
std::vector<fs::path> uninstall_copies() {
  std::vector<fs::path> copies;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(temp_folder(), ec)) {
    if (is_uninstall_copy_name(entry.path().filename().wstring())) copies.push_back(entry.path());
  }
  return copies;
}

DWORD owner_process(HWND window) {
  DWORD id = 0;
  GetWindowThreadProcessId(window, &id);
  return id;
}

// A message box of the process titled "Corvane".
HWND wait_for_box(DWORD process_id) {
  return wait_for_window([&](HWND w) {
    return owner_process(w) == process_id && class_name(w) == L"#32770" && window_text(w) == L"Corvane";
  });
}

std::wstring box_text(HWND box) {
  wchar_t text[1024] = {};
  GetDlgItemTextW(box, kBoxTextId, text, 1024);
  return text;
}

// One run of a copy of the program; ends it if the test leaves it running.
class SetupRun {
 public:
  SetupRun(const fs::path& program, const std::wstring& arguments) {
    std::wstring command = L"\"" + program.wstring() + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              program.parent_path().c_str(), &startup, &info_) != 0;
    if (started_) CloseHandle(info_.hThread);
  }
  ~SetupRun() {
    if (!started_) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hProcess);
  }
  bool started() const { return started_; }
  DWORD id() const { return info_.dwProcessId; }
  // The exit code, or nothing when the process is still running after `limit`.
  std::optional<DWORD> wait(std::chrono::milliseconds limit = 30s) const {
    if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

 private:
  bool started_ = false;
  PROCESS_INFORMATION info_{};
};

class SetupWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = temp_folder() / (L"corvane-setup-window-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    // The stand-in DWM in the system folder, preferred to Wine's own library of that name (the
    // load order comes from CMake: WINE_DLL_OVERRIDES). Wine's is kept beside it and put back
    // afterwards; one left by a test that died is put back first.
    std::error_code ignored;
    restore_system_dwm();
    fs::rename(system_folder() / L"dwmapi.dll", wine_dwm(), ignored);
    fs::copy_file(own_folder() / L"dwmapi.dll", system_folder() / L"dwmapi.dll", fs::copy_options::overwrite_existing);
    for (const fs::path& copy : uninstall_copies()) fs::remove(copy, ignored);  // left by an earlier run
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    for (const fs::path& copy : uninstall_copies()) fs::remove(copy, ignored);
    for (const wchar_t* dll : kPlanted) {
      fs::remove(temp_folder() / dll, ignored);
      fs::remove(temp_folder() / (std::wstring(dll) + L".loaded"), ignored);
    }
    restore_system_dwm();
  }

  static fs::path wine_dwm() { return system_folder() / L"dwmapi.dll.corvane-wine"; }
  static void restore_system_dwm() {
    std::error_code ignored;
    if (fs::exists(wine_dwm())) fs::rename(wine_dwm(), system_folder() / L"dwmapi.dll", ignored);
  }

  // A copy of the program named `name` in `dir`.
  fs::path place_program(const fs::path& dir, const std::wstring& name) {
    fs::create_directories(dir);
    fs::copy_file(setup_program(), dir / name, fs::copy_options::overwrite_existing);
    return dir / name;
  }

  // Stand-ins of dwmapi.dll, winhttp.dll and bcrypt.dll in `dir`, as a site could drop them into
  // a Downloads folder (tests/support/planted_dll_win32.cpp), preferred to the system's own
  // ("native, builtin", the order Windows uses for names that are no KnownDLLs; CMake sets it).
  static void plant_libraries(const fs::path& dir) {
    std::error_code ignored;
    for (const wchar_t* dll : kPlanted) fs::remove(dir / (std::wstring(dll) + L".loaded"), ignored);
    for (const wchar_t* dll : kPlanted) {
      fs::copy_file(fs::path(build_path(CORVANE_PLANTED_DIR)) / dll, dir / dll, fs::copy_options::overwrite_existing);
    }
  }
  // The stand-ins in `dir` that a process has loaded.
  static std::vector<std::wstring> loaded_in(const fs::path& dir) {
    std::vector<std::wstring> loaded;
    for (const wchar_t* dll : kPlanted) {
      if (fs::exists(dir / (std::wstring(dll) + L".loaded"))) loaded.emplace_back(dll);
    }
    return loaded;
  }

  // Checks the host window of `process_id` as the prompt finds it and returns its size.
  static SIZE check_host_window(DWORD process_id) {
    HWND window = wait_for_window(
        [&](HWND w) { return owner_process(w) == process_id && class_name(w) == L"CorvaneSetup"; }, 10s);
    EXPECT_NE(window, nullptr);
    if (!window) return {};
    EXPECT_EQ(window_text(window), L"Corvane");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) & (WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CAPTION | WS_THICKFRAME),
              static_cast<DWORD>(WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX));
    EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    // Still cloaked while the prompt shows (the reveal timer has 5 s), with round corners asked for.
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(GetPropW(window, L"CorvaneTest.Cloak")), 2u);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(GetPropW(window, L"CorvaneTest.Corners")), 3u);
    RECT r{};
    GetWindowRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
  }

  // Answers the missing-runtime prompt of `process_id` with No and returns the exit code.
  static std::optional<DWORD> decline_runtime(const SetupRun& run) {
    HWND box = wait_for_box(run.id());
    EXPECT_NE(box, nullptr) << "no prompt";
    if (!box) return std::nullopt;
    EXPECT_EQ(box_text(box), kRuntimeMissing);
    EXPECT_NE(GetDlgItem(box, IDYES), nullptr);
    EXPECT_NE(GetDlgItem(box, IDNO), nullptr);
    PostMessageW(box, WM_COMMAND, IDNO, 0);
    return run.wait();
  }

  fs::path folder;
};

// The window's size for a base page size under Xvfb's 1280 x 1024 screen at 96 DPI (Wine's
// work area is the whole screen).
SIZE expected_size(int width, int height) {
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  const double zoom = std::min({1.2, (area.right - area.left) * 0.92 / width, (area.bottom - area.top) * 0.92 / height});
  return {std::lround(width * zoom), std::lround(height * zoom)};
}

TEST_F(SetupWindowTest, InstallModeShowsItsCloakedWindowThenTheRuntimePromptAndNoEndsWithZero) {
  const fs::path program = place_program(folder / L"download", L"Corvane-Setup.exe");
  SetupRun run(program, L"");
  ASSERT_TRUE(run.started());
  HWND box = wait_for_box(run.id());
  ASSERT_NE(box, nullptr);
  const SIZE size = check_host_window(run.id());
  const SIZE install = expected_size(1000, 730);
  EXPECT_EQ(size.cx, install.cx);
  EXPECT_EQ(size.cy, install.cy);
  EXPECT_EQ(decline_runtime(run), 0u);
}

TEST_F(SetupWindowTest, ARuntimeThatCannotBeUsedIsToldWithItsCodeNotAsMissing) {
  // A fixed-version runtime folder whose client library lacks the creation entry.
  const fs::path runtime = folder / L"runtime";
  fs::create_directories(runtime / L"EBWebView" / L"x64");
  std::wstring broken = L"Z:";
  for (const char* c = CORVANE_BROKEN_RUNTIME; *c; ++c) broken += static_cast<wchar_t>(*c == '/' ? '\\' : *c);
  fs::copy_file(broken, runtime / L"EBWebView" / L"x64" / L"EmbeddedBrowserWebView.dll");
  SetEnvironmentVariableW(L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", runtime.c_str());
  const fs::path program = place_program(folder / L"download", L"Corvane-Setup.exe");
  const auto started = std::chrono::steady_clock::now();
  SetupRun run(program, L"");
  SetEnvironmentVariableW(L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", nullptr);
  ASSERT_TRUE(run.started());
  HWND box = wait_for_box(run.id());
  ASSERT_NE(box, nullptr);
  // Told after the second attempt, a pause after the first.
  EXPECT_GE(std::chrono::steady_clock::now() - started, 1s);
  EXPECT_EQ(box_text(box), L"Не удалось открыть окно установщика (код 0x8007007F). Закройте другие копии установщика и "
                           L"запустите его снова.");
  EXPECT_EQ(GetDlgItem(box, IDNO), nullptr);  // no offer to download a runtime
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(run.wait(), 0u);
}

TEST_F(SetupWindowTest, UninstallOfAClientFolderTakesTheUninstallPath) {
  const fs::path client = folder / L"Corvane";
  fs::create_directories(client);
  { std::ofstream(client / L"Corvane.exe") << "client"; }
  const fs::path program = place_program(folder / L"download", L"Corvane-Setup.exe");
  // The folder with a trailing separator, the flag in capitals.
  SetupRun run(program, L"/UNINSTALL " + client.wstring() + L"\\");
  ASSERT_TRUE(run.started());
  ASSERT_NE(wait_for_box(run.id()), nullptr);
  const SIZE size = check_host_window(run.id());
  const SIZE uninstall = expected_size(675, 534);
  EXPECT_EQ(size.cx, uninstall.cx);
  EXPECT_EQ(size.cy, uninstall.cy);
  EXPECT_EQ(decline_runtime(run), 0u);
  EXPECT_TRUE(fs::exists(client / L"Corvane.exe"));  // nothing was removed
}

TEST_F(SetupWindowTest, UninstallOfAFolderWithoutAClientSaysSoAndEnds) {
  const fs::path program = place_program(folder / L"download", L"Corvane-Setup.exe");
  SetupRun run(program, L"/uninstall \"" + (folder / L"nothing").wstring() + L"\"");
  ASSERT_TRUE(run.started());
  HWND box = wait_for_box(run.id());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box_text(box), L"Клиент не найден в указанной папке.");
  EXPECT_EQ(wait_for_window([&](HWND w) { return owner_process(w) == run.id() && class_name(w) == L"CorvaneSetup"; }, 1s),
            nullptr);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(run.wait(), 0u);
}

TEST_F(SetupWindowTest, ACopyNamedUninstallExeHandsOverToItsCopyInTheTemporaryFolder) {
  const fs::path client = folder / L"Corvane";
  const fs::path uninstaller = place_program(client, L"uninstall.exe");
  { std::ofstream(client / L"Corvane.exe") << "client"; }

  SetupRun run(uninstaller, L"");
  ASSERT_TRUE(run.started());
  EXPECT_EQ(run.wait(), 0u);  // no window of its own
  const std::vector<fs::path> copies = uninstall_copies();
  ASSERT_EQ(copies.size(), 1u);  // a copy under a name of its own

  // The copy shows the uninstall window on this client folder, then the prompt.
  const std::wstring copy_name = copies[0].filename().wstring();
  HWND box = wait_for_window([&](HWND w) {
    return class_name(w) == L"#32770" && window_text(w) == L"Corvane" && image_name(owner_process(w)) == copy_name;
  });
  ASSERT_NE(box, nullptr);
  const DWORD copy = owner_process(box);
  const SIZE size = check_host_window(copy);
  const SIZE uninstall = expected_size(675, 534);
  EXPECT_EQ(size.cx, uninstall.cx);
  EXPECT_EQ(size.cy, uninstall.cy);
  EXPECT_EQ(box_text(box), kRuntimeMissing);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, copy);
  ASSERT_NE(process, nullptr);
  PostMessageW(box, WM_COMMAND, IDNO, 0);
  EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(fs::exists(client / L"Corvane.exe"));
}

// Libraries dropped beside the downloaded program, and beside the uninstaller's copy in the
// temporary folder, are never loaded: DWM comes from the system folder (the stand-in there records
// the cloak) and nothing is taken from the program's own folder.
TEST_F(SetupWindowTest, LibrariesBesideTheProgramAreNeverLoaded) {
  const fs::path downloads = folder / L"Downloads";
  const fs::path program = place_program(downloads, L"Corvane-Setup.exe");
  plant_libraries(downloads);
  {
    SetupRun run(program, L"");
    ASSERT_TRUE(run.started());
    ASSERT_NE(wait_for_box(run.id()), nullptr);
    check_host_window(run.id());
    EXPECT_EQ(decline_runtime(run), 0u);
  }
  EXPECT_EQ(loaded_in(downloads), std::vector<std::wstring>{});

  // The uninstaller in its client folder hands over to a copy in the temporary folder, beside
  // stand-ins there.
  const fs::path client = folder / L"Corvane";
  const fs::path uninstaller = place_program(client, L"uninstall.exe");
  { std::ofstream(client / L"Corvane.exe") << "client"; }
  plant_libraries(temp_folder());
  SetupRun run(uninstaller, L"");
  ASSERT_TRUE(run.started());
  EXPECT_EQ(run.wait(), 0u);
  ASSERT_EQ(uninstall_copies().size(), 1u);
  const std::wstring copy_name = uninstall_copies()[0].filename().wstring();
  HWND box = wait_for_window([&](HWND w) {
    return class_name(w) == L"#32770" && window_text(w) == L"Corvane" && image_name(owner_process(w)) == copy_name;
  });
  ASSERT_NE(box, nullptr);
  const DWORD copy = owner_process(box);
  check_host_window(copy);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, copy);
  PostMessageW(box, WM_COMMAND, IDNO, 0);
  if (process) {
    WaitForSingleObject(process, 30000);
    CloseHandle(process);
  }
  EXPECT_EQ(loaded_in(temp_folder()), std::vector<std::wstring>{});
}

}  // namespace
}  // namespace corvane
