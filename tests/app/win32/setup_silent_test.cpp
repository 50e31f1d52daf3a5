// Corvane-Setup.exe without a window ("/S") under Wine, with no display and no WebView2 runtime,
// against the test CDN on the port this build was configured with (the test command holds that
// port's lock file): the install as the window makes it, the uninstaller's silent removal through
// its copy, and the exit codes and log lines of a bad switch, a missing game folder and a CDN that
// is down.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "install/programs_entry.h"
#include "os/registry.h"
#include "os/text.h"
#include "release_builder/release.h"
#include "support/test_signing.h"
#include "support/user_state.h"
#include "test_cdn.h"
#include "ui/win32/webview2_loader.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The program as built, seen from Wine (the Linux root is drive Z:).
fs::path setup_program() {
  std::wstring path = L"Z:";
  for (const char* c = CORVANE_SETUP_PROGRAM; *c; ++c) path += static_cast<wchar_t>(*c == '/' ? '\\' : *c);
  return path;
}

fs::path temp_folder() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  return temp;
}

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void write_all(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Runs `program` with `arguments` in its own folder and waits for it; the exit code, or nothing
// when it did not start or end within `limit`.
std::optional<DWORD> run(const fs::path& program, const std::wstring& arguments, std::chrono::milliseconds limit = 120s) {
  std::wstring command = L"\"" + program.wstring() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      program.parent_path().c_str(), &startup, &info)) {
    return std::nullopt;
  }
  CloseHandle(info.hThread);
  std::optional<DWORD> code;
  if (WaitForSingleObject(info.hProcess, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0) {
    DWORD exit_code = 0;
    GetExitCodeProcess(info.hProcess, &exit_code);
    code = exit_code;
  } else {
    TerminateProcess(info.hProcess, 99);
  }
  CloseHandle(info.hProcess);
  return code;
}

// Waits until `done` holds; false after `limit`.
template <typename Condition>
bool wait_until(Condition done, std::chrono::milliseconds limit = 60s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

std::vector<fs::path> uninstall_copies() {
  std::vector<fs::path> copies;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(temp_folder(), ec)) {
    const std::wstring name = entry.path().filename().wstring();
    if (name.starts_with(L"Corvane-Uninstall-") && name.ends_with(L".exe")) copies.push_back(entry.path());
  }
  return copies;
}

std::wstring entry(const wchar_t* name) {
  return os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, name);
}

class SetupSilentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!user_state_.refusal().empty()) GTEST_SKIP() << user_state_.refusal();
    fs::remove_all(folder_);
    for (const fs::path& copy : uninstall_copies()) fs::remove(copy);
    write_all(folder_ / L"source/Corvane.exe", std::string(70000, 'c'));
    write_all(folder_ / L"source/bin/core.dll", "core");
    tools::ReleaseOptions options;
    options.source = (folder_ / L"source").wstring();
    options.out = (folder_ / L"cdn" / L"release").wstring();
    options.version = "2.0.0";
    options.date = "2024-08-01";
    options.signing = test::channel_signing();
    std::vector<ManifestFile> files;
    std::string problem;
    ASSERT_TRUE(tools::build_release(options, files, problem)) << problem;
    // Tests of other build trees that do not take the port's lock may still be serving there.
    const auto end = std::chrono::steady_clock::now() + 120s;
    while (!server_.start(os::to_utf8((folder_ / L"cdn").wstring()), CORVANE_CDN_PORT)) {
      ASSERT_LT(std::chrono::steady_clock::now(), end) << "port " << CORVANE_CDN_PORT << " stays taken";
      std::this_thread::sleep_for(500ms);
    }
    write_all(game_ / L"GTA5.exe", "");
    fs::create_directories(folder_ / L"logs");
    fs::create_directories(folder_ / L"download");
    fs::copy_file(setup_program(), setup_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    for (const fs::path& copy : uninstall_copies()) fs::remove(copy, ignored);
  }

  std::string log() const { return read_all(log_); }
  bool logged(const std::string& text) const { return log().find(text) != std::string::npos; }
  std::wstring log_switch() const { return L"\"/LOG=" + log_.wstring() + L"\""; }
  std::wstring install_switches() const {
    return L"/S \"/D=" + client_.wstring() + L"\" \"/GTA=" + game_.wstring() + L"\" " + log_switch();
  }

  test::FixedUserState user_state_;
  test_cdn::Server server_;
  const fs::path folder_ = temp_folder() / (L"corvane-silent-" + std::to_wstring(GetCurrentProcessId()));
  const fs::path setup_ = folder_ / L"download" / L"Corvane-Setup.exe";
  const fs::path client_ = folder_ / L"My Games" / L"Corvane";
  const fs::path game_ = folder_ / L"Games" / L"GTA V";
  const fs::path log_ = folder_ / L"logs" / L"setup.log";
  const fs::path desktop_link_ = fs::path(test::system_desktop_folder()) / L"Corvane.lnk";
  const fs::path programs_link_ = fs::path(test::system_programs_folder()) / L"Corvane.lnk";
};

TEST_F(SetupSilentTest, InstallsWithoutAWindowOrRuntimeThenTheUninstallerRemovesIt) {
  // No WebView2 runtime anywhere the setup's loader would look.
  HRESULT why = S_OK;
  EXPECT_TRUE(win32::find_runtime_clients(win32::resolve_loader_settings(nullptr, nullptr), why).empty());

  ASSERT_EQ(run(setup_, install_switches()), 0u) << log();
  EXPECT_EQ(read_all(client_ / L"Corvane.exe"), std::string(70000, 'c'));
  EXPECT_EQ(read_all(client_ / L"bin/core.dll"), "core");
  EXPECT_EQ(read_all(client_ / L"uninstall.exe"), read_all(setup_program()));
  EXPECT_NE(read_all(client_ / L"launcher.json").find("Games\\\\GTA V"), std::string::npos);
  EXPECT_TRUE(fs::exists(desktop_link_));
  EXPECT_TRUE(fs::exists(programs_link_));
  const std::wstring dir = client_.wstring();
  EXPECT_EQ(entry(L"DisplayName"), L"Corvane");
  EXPECT_EQ(entry(L"DisplayVersion"), L"2.0.0");
  EXPECT_EQ(entry(L"Publisher"), L"Corvane");
  EXPECT_EQ(entry(L"DisplayIcon"), L"\"" + dir + L"\\Corvane.exe\",0");
  EXPECT_EQ(entry(L"InstallLocation"), dir);
  EXPECT_EQ(entry(L"UninstallString"), L"\"" + dir + L"\\uninstall.exe\" /uninstall");
  EXPECT_EQ(os::read_registry_dword(os::RegistryRoot::CurrentUser, kProgramsKey, L"NoModify"), 1u);
  EXPECT_EQ(os::read_registry_dword(os::RegistryRoot::CurrentUser, kProgramsKey, L"NoRepair"), 1u);
  EXPECT_EQ(os::read_registry_dword(os::RegistryRoot::CurrentUser, kProgramsKey, L"EstimatedSize"),
            folder_size(dir) / 1024);
  EXPECT_TRUE(logged("[*] Dostupna versiya 2.0.0 ot 2024-08-01, obnovlyaem 2 faylov...\n")) << log();
  EXPECT_TRUE(logged("[*] Ustanovka zavershena: versiya 2.0.0 ot 2024-08-01.\n[*] Kod zaversheniya: 0.\n")) << log();

  // The uninstaller hands over to its copy in the temporary folder and ends with 0; the copy
  // removes everything, then its own file.
  EXPECT_EQ(run(client_ / L"uninstall.exe", L"/S " + log_switch()), 0u);
  EXPECT_TRUE(wait_until([&] { return !fs::exists(client_); })) << log();
  EXPECT_TRUE(wait_until([&] { return entry(L"InstallLocation").empty(); }));
  EXPECT_FALSE(fs::exists(desktop_link_));
  EXPECT_FALSE(fs::exists(programs_link_));
  EXPECT_TRUE(wait_until([] { return uninstall_copies().empty(); })) << "the copy deletes itself";
  EXPECT_TRUE(logged("[*] Udalenie prodolzhit kopiya programmy udaleniya iz vremennoy papki.\n")) << log();
  EXPECT_TRUE(logged("[*] Udalenie zaversheno.\n[*] Kod zaversheniya: 0.\n")) << log();
}

TEST_F(SetupSilentTest, RefusedShortcutsAreNotMade) {
  ASSERT_EQ(run(setup_, install_switches() + L" /NODESKTOP /NOSTARTMENU"), 0u) << log();
  EXPECT_EQ(read_all(client_ / L"Corvane.exe"), std::string(70000, 'c'));
  EXPECT_FALSE(fs::exists(desktop_link_));
  EXPECT_FALSE(fs::exists(programs_link_));
  EXPECT_EQ(entry(L"InstallLocation"), client_.wstring());
  // Removed again in place (the setup names the folder), waited for.
  const fs::path remover = folder_ / L"download" / L"Corvane-Remover.exe";
  fs::copy_file(setup_program(), remover);
  EXPECT_EQ(run(remover, L"/uninstall \"" + client_.wstring() + L"\" /S " + log_switch()), 0u) << log();
  EXPECT_FALSE(fs::exists(client_));
  EXPECT_EQ(entry(L"InstallLocation"), L"");
}

TEST_F(SetupSilentTest, BadSwitchMissingGameAndCdnDownHaveTheirCodesAndLines) {
  EXPECT_EQ(run(setup_, L"/S /FAST " + log_switch()), 2u);
  EXPECT_TRUE(logged("[!] Komandnaya stroka: neizvestnyy parametr \"/FAST\".\n")) << log();
  EXPECT_EQ(run(setup_, L"/S \"/D=" + client_.wstring() + L"\" \"/GTA=" + folder_.wstring() + L"\" " + log_switch()),
            3u);
  EXPECT_TRUE(logged("net GTA V (GTA5.exe)")) << log();
  EXPECT_EQ(server_.totals().requests, 0u);
  EXPECT_FALSE(fs::exists(client_));
  server_.stop();
  EXPECT_EQ(run(setup_, install_switches()), 5u);
  EXPECT_TRUE(logged("[!] Obnovlenie: CDN nedostupen")) << log();
  EXPECT_TRUE(logged("[!] Ustanovka: obnovlenie zavershilos so statusom 1")) << log();
  EXPECT_TRUE(logged("[*] Kod zaversheniya: 5.\n")) << log();
  EXPECT_FALSE(fs::exists(client_ / L"Corvane.exe"));
}

}  // namespace
}  // namespace corvane
