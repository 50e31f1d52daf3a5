// The runtime loader end to end under Wine: runtime folders made here hold copies of a fake client
// library (fake_webview2_runtime.cpp), registered the way EdgeUpdate registers installs or named
// by the environment; the loader must find, load and call the right one.
#include "ui/win32/webview2_loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "ui/win32/com_callback.h"

namespace corvane::win32 {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kStable[] = L"{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr wchar_t kBeta[] = L"{2CD8A007-E189-409D-A2C8-9AF4EF3C72AA}";
constexpr const wchar_t* kVariables[] = {L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", L"WEBVIEW2_USER_DATA_FOLDER",
                                         L"WEBVIEW2_CHANNEL_SEARCH_KIND", L"WEBVIEW2_RELEASE_CHANNEL_PREFERENCE",
                                         L"WEBVIEW2_RELEASE_CHANNELS"};

fs::path own_folder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

std::wstring client_state(const wchar_t* channel) {
  return std::wstring(L"SOFTWARE\\Microsoft\\EdgeUpdate\\ClientState\\") + channel;
}
std::wstring clients(const wchar_t* channel) {
  return std::wstring(L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\") + channel;
}

// Registers an install of `channel` at `folder` (the value EdgeUpdate writes) and removes every
// such registration again when the test ends. These keys are the prefix's own: the tests that
// write them hold a CTest resource lock.
class Registrations {
 public:
  ~Registrations() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        for (const wchar_t* channel : {kStable, kBeta}) {
          RegDeleteKeyExW(root, client_state(channel).c_str(), view, 0);
          RegDeleteKeyExW(root, clients(channel).c_str(), view, 0);
        }
      }
    }
  }
  void add(HKEY root, REGSAM view, const wchar_t* channel, const fs::path& folder) {
    set(root, view, client_state(channel), L"EBWebView", folder.wstring());
  }
  // The other record EdgeUpdate keeps: the installed version only.
  void add_version(HKEY root, REGSAM view, const wchar_t* channel, const std::wstring& version) {
    set(root, view, clients(channel), L"pv", version);
  }

 private:
  static void set(HKEY root, REGSAM view, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
};

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* name : kVariables) SetEnvironmentVariableW(name, nullptr);
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    root = fs::path(temp) / (L"corvane-loader-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(root);
    fs::create_directories(root);
  }
  void TearDown() override {
    for (const wchar_t* name : kVariables) SetEnvironmentVariableW(name, nullptr);
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  // A runtime folder ...\<version> with the fake client library for `machine`, usable or not.
  fs::path make_runtime(const std::wstring& relative, bool usable = true, const wchar_t* machine = L"x64") {
    const fs::path folder = root / relative;
    fs::create_directories(folder / L"EBWebView" / machine);
    const fs::path library = own_folder() / (usable ? L"fake_webview2_runtime.dll" : L"fake_webview2_runtime_broken.dll");
    fs::copy_file(library, folder / L"EBWebView" / machine / L"EmbeddedBrowserWebView.dll");
    return folder;
  }

  // Calls the loader function; the environment's description when its handler got one.
  struct Outcome {
    HRESULT result = E_FAIL;
    std::optional<std::wstring> environment;
  };
  Outcome create(PCWSTR user_data_folder = L"C:\\data\\Corvane-Setup") {
    Outcome outcome;
    auto handler = make_callback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
        IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
        [&](HRESULT result, ICoreWebView2Environment* environment) -> HRESULT {
          EXPECT_EQ(result, S_OK);
          CoTaskString description;
          if (environment && SUCCEEDED(environment->get_BrowserVersionString(description.put()))) {
            outcome.environment = description.c_str();
          }
          return S_OK;
        });
    outcome.result = CreateCoreWebView2EnvironmentWithOptions(nullptr, user_data_folder, nullptr, handler.get());
    return outcome;
  }
  static std::wstring loaded(const fs::path& runtime, int kind, const std::wstring& data) {
    return (runtime / L"EBWebView" / L"x64" / L"EmbeddedBrowserWebView.dll").wstring() + L"|" +
           std::to_wstring(kind) + L"|" + data + L"|1";
  }

  fs::path root;
};

TEST_F(LoaderTest, FindsAPerUserInstallFromItsRegistryEntry) {
  Registrations registrations;
  const fs::path runtime = make_runtime(L"User\\EdgeWebView\\Application\\120.0.2210.91");
  registrations.add(HKEY_CURRENT_USER, KEY_WOW64_32KEY, kStable, runtime);
  const Outcome outcome = create();
  EXPECT_EQ(outcome.result, S_OK);
  EXPECT_EQ(outcome.environment, loaded(runtime, 0, L"C:\\data\\Corvane-Setup"));
}

TEST_F(LoaderTest, AnInstallKnownByItsVersionAloneIsFoundInItsChannelsFolder) {
  // The install roots as the environment names them, here below the test's folder.
  struct Saved {
    const wchar_t* name;
    std::wstring value;
  };
  std::vector<Saved> saved;
  for (const wchar_t* name : {L"LOCALAPPDATA", L"ProgramFiles(x86)", L"ProgramFiles"}) {
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(name, value, MAX_PATH);
    saved.push_back({name, value});
    SetEnvironmentVariableW(name, (root / name).c_str());
  }
  struct Case {
    HKEY root;
    const wchar_t* channel;
    std::wstring folder;  // below the test's folder, where the version's runtime is
  };
  const Case cases[] = {
      {HKEY_CURRENT_USER, kStable, L"LOCALAPPDATA\\Microsoft\\EdgeWebView\\Application\\120.0.2210.91"},
      {HKEY_LOCAL_MACHINE, kStable, L"ProgramFiles(x86)\\Microsoft\\EdgeWebView\\Application\\121.0.2277.83"},
      {HKEY_LOCAL_MACHINE, kBeta, L"ProgramFiles\\Microsoft\\Edge Beta\\Application\\130.0.2849.5"},
  };
  for (const Case& c : cases) {
    Registrations registrations;
    const fs::path runtime = make_runtime(c.folder);
    registrations.add_version(c.root, KEY_WOW64_32KEY, c.channel, runtime.filename().wstring());
    EXPECT_EQ(create().environment, loaded(runtime, 0, L"C:\\data\\Corvane-Setup")) << c.folder.size();
    // A version of "0.0.0.0" is an install that was removed.
    registrations.add_version(c.root, KEY_WOW64_32KEY, c.channel, L"0.0.0.0");
    EXPECT_EQ(create().result, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  }
  for (const Saved& s : saved) SetEnvironmentVariableW(s.name, s.value.empty() ? nullptr : s.value.c_str());
}

TEST_F(LoaderTest, ARuntimeForAnotherProcessorOnlyIsToldApartFromNone) {
  for (const wchar_t* machine : {L"x86", L"arm64"}) {
    Registrations registrations;
    const fs::path other = make_runtime(std::wstring(machine) + L"\\Application\\120.0.2210.91", true, machine);
    registrations.add(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, kStable, other);
    const Outcome outcome = create();
    EXPECT_EQ(outcome.result, kRuntimeWithoutX64);
    EXPECT_FALSE(outcome.environment);
    // With a usable x64 runtime of another channel, that one is taken.
    const fs::path beta = make_runtime(std::wstring(machine) + L"\\Beta\\130.0.2849.5");
    registrations.add(HKEY_CURRENT_USER, KEY_WOW64_32KEY, kBeta, beta);
    EXPECT_EQ(create().environment, loaded(beta, 0, L"C:\\data\\Corvane-Setup"));
  }
}

TEST_F(LoaderTest, NotFoundWhenTheRegisteredFolderIsMissingOrNothingIsRegistered) {
  {
    Registrations registrations;
    const Outcome outcome = create();
    EXPECT_EQ(outcome.result, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(outcome.environment);
  }
  Registrations registrations;
  registrations.add(HKEY_CURRENT_USER, KEY_WOW64_32KEY, kStable, root / L"Gone\\Application\\120.0.2210.91");
  registrations.add(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, kStable, root / L"Gone\\Application\\121.0.2277.83");
  const Outcome outcome = create();
  EXPECT_EQ(outcome.result, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(outcome.environment);
}

// A registered folder that is no full path would be found from the current folder (a Downloads
// folder): the runtime's library is loaded by its full path only.
TEST_F(LoaderTest, ARegisteredFolderThatIsNoFullPathIsNeverLoaded) {
  Registrations registrations;
  make_runtime(L"Downloads\\120.0.2210.91");
  registrations.add(HKEY_CURRENT_USER, KEY_WOW64_32KEY, kStable, L"Downloads\\120.0.2210.91");
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(root.c_str()));
  const Outcome outcome = create();
  SetCurrentDirectoryW(previous);
  EXPECT_FALSE(outcome.environment);
  EXPECT_NE(outcome.result, S_OK);
}

TEST_F(LoaderTest, ChoosesTheNewestUsableVersionOfTheMostStableChannel) {
  Registrations registrations;
  const fs::path user = make_runtime(L"User\\Application\\120.0.2210.91");
  const fs::path machine = make_runtime(L"Machine\\Application\\121.0.2277.83");
  const fs::path broken = make_runtime(L"Machine64\\Application\\123.0.2420.65", false);
  const fs::path beta = make_runtime(L"Beta\\Application\\130.0.2849.5");
  registrations.add(HKEY_CURRENT_USER, KEY_WOW64_32KEY, kStable, user);
  registrations.add(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, kStable, machine);
  registrations.add(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, kStable, broken);  // no creation entry
  registrations.add(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, kBeta, beta);
  EXPECT_EQ(create().environment, loaded(machine, 0, L"C:\\data\\Corvane-Setup"));

  // The least stable channel first, as the environment may ask.
  SetEnvironmentVariableW(L"WEBVIEW2_CHANNEL_SEARCH_KIND", L"1");
  EXPECT_EQ(create().environment, loaded(beta, 0, L"C:\\data\\Corvane-Setup"));
}

TEST_F(LoaderTest, AChannelWithoutAUsableInstallGivesWayToTheNext) {
  Registrations registrations;
  // Older than any runtime with the interfaces the setup uses, and one without the entry.
  registrations.add(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, kStable, make_runtime(L"Old\\Application\\85.0.564.68"));
  registrations.add(HKEY_CURRENT_USER, KEY_WOW64_32KEY, kStable, make_runtime(L"New\\Application\\123.0.2420.65", false));
  const fs::path beta = make_runtime(L"Beta\\Application\\130.0.2849.5");
  registrations.add(HKEY_CURRENT_USER, KEY_WOW64_64KEY, kBeta, beta);
  EXPECT_EQ(create().environment, loaded(beta, 0, L"C:\\data\\Corvane-Setup"));
}

TEST_F(LoaderTest, TheEnvironmentNamesAFixedVersionRuntimeAndTheUserDataFolder) {
  Registrations registrations;
  registrations.add(HKEY_CURRENT_USER, KEY_WOW64_32KEY, kStable, make_runtime(L"Installed\\Application\\120.0.2210.91"));
  const fs::path fixed = make_runtime(L"Fixed\\109.0.1518.78");
  SetEnvironmentVariableW(L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", fixed.c_str());
  SetEnvironmentVariableW(L"WEBVIEW2_USER_DATA_FOLDER", L"D:\\profile");
  EXPECT_EQ(create().environment, loaded(fixed, 1, L"D:\\profile"));

  // A browser's own install is refused, and a folder without a client is not found.
  const fs::path edge = make_runtime(L"Edge\\Application\\120.0.2210.91");
  SetEnvironmentVariableW(L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", edge.c_str());
  EXPECT_EQ(create().result, HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED));
  SetEnvironmentVariableW(L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", (root / L"Nothing").c_str());
  const Outcome missing = create();
  EXPECT_EQ(missing.result, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(missing.environment);
}

TEST(LoaderSettings, VersionsAndChannelLists) {
  EXPECT_EQ(parse_runtime_version(L"120.0.2210.91")->parts, (std::array<std::uint32_t, 4>{120, 0, 2210, 91}));
  for (const wchar_t* bad : {L"", L"120", L"120.0.2210", L"120.0.2210.91.1", L"120.0.2210.x", L"1.2.3.4 ",
                             L"99999999999.0.0.0"}) {
    EXPECT_FALSE(parse_runtime_version(bad)) << std::wstring(bad).size();
  }
  EXPECT_LT(*parse_runtime_version(L"120.0.999.1"), *parse_runtime_version(L"120.0.2210.0"));

  SetEnvironmentVariableW(L"WEBVIEW2_RELEASE_CHANNELS", L"2, 0,x");
  LoaderSettings settings = resolve_loader_settings(nullptr, nullptr);
  EXPECT_EQ(settings.channels, (std::vector<Channel>{Channel::Stable, Channel::Dev}));
  SetEnvironmentVariableW(L"WEBVIEW2_RELEASE_CHANNEL_PREFERENCE", L"1");
  settings = resolve_loader_settings(nullptr, L"C:\\u");
  EXPECT_EQ(settings.channels, (std::vector<Channel>{Channel::Dev, Channel::Stable}));
  EXPECT_EQ(settings.user_data_folder, L"C:\\u");
  SetEnvironmentVariableW(L"WEBVIEW2_RELEASE_CHANNELS", nullptr);
  SetEnvironmentVariableW(L"WEBVIEW2_RELEASE_CHANNEL_PREFERENCE", nullptr);
  EXPECT_EQ(resolve_loader_settings(nullptr, nullptr).channels,
            (std::vector<Channel>{Channel::Stable, Channel::Beta, Channel::Dev, Channel::Canary}));
}

}  // namespace
}  // namespace corvane::win32
