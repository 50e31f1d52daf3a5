#pragma once
#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/win32/webview2.h"

// The WebView2 runtime loader behind the published loader function
// CreateCoreWebView2EnvironmentWithOptions (declared by WebView2.h, defined in webview2_loader.cpp):
// finds an installed runtime, or a fixed-version runtime folder, loads its client library and has
// it create the environment. The parts below are exposed for tests.
namespace corvane::win32 {

// A runtime release as its folder is named: four numbers, e.g. 120.0.2210.91.
struct RuntimeVersion {
  std::array<std::uint32_t, 4> parts{};
  auto operator<=>(const RuntimeVersion&) const = default;
};
std::optional<RuntimeVersion> parse_runtime_version(std::wstring_view text);

// The oldest runtime that has every interface the setup uses: the first stable release.
inline constexpr RuntimeVersion kMinimumRuntime{{86, 0, 616, 0}};

// How the client library is told where its runtime came from (its own numbering).
enum class RuntimeKind : int { Installed = 0, FixedVersion = 1 };

// The release channels in the documented order from most to least stable, with the ids under
// which each channel's installs are registered.
enum class Channel : int { Stable = 0, Beta = 1, Dev = 2, Canary = 3 };

// What the loader works with after the caller's arguments and their overrides: an environment
// variable wins, then a policy value (per machine, then per user; named after the executable's
// file name, then "*" except for the user data folder).
struct LoaderSettings {
  std::wstring browser_folder;    // empty: an installed runtime
  std::wstring user_data_folder;  // empty: the runtime's default
  bool least_stable_first = false;
  std::vector<Channel> channels;  // in search order
};
LoaderSettings resolve_loader_settings(PCWSTR browser_folder, PCWSTR user_data_folder);

// One client library that could create the environment.
struct RuntimeClient {
  std::wstring library;  // ...\EBWebView\x64\EmbeddedBrowserWebView.dll
  RuntimeVersion version;
  RuntimeKind kind = RuntimeKind::Installed;
};

// The client of a runtime folder (a version folder of an install, or a fixed-version folder).
std::wstring client_library_of(std::wstring_view runtime_folder);

// What the loader returns when the runtimes it finds have no client for this program's processor
// (x64), only for another one (an x86-only install, or an ARM64 machine's own).
inline const HRESULT kRuntimeWithoutX64 = HRESULT_FROM_WIN32(ERROR_EXE_MACHINE_TYPE_MISMATCH);

// The runtimes to try, best first. With a browser folder: that folder's client alone, when it
// exists. Otherwise the installs registered for each channel in search order, per machine and per
// user in both registry views: the folder that ClientState names, and the folder of the version
// that Clients records under the install roots (the program files folders per machine, the local
// application data folder per user, from the environment); within a channel the newest usable
// version first. A version is usable when its folder name is a version at least kMinimumRuntime
// and its client library exists. `error` gets the reason when the list is empty
// (kRuntimeWithoutX64 when a folder held only another processor's client).
std::vector<RuntimeClient> find_runtime_clients(const LoaderSettings& settings, HRESULT& error);

}  // namespace corvane::win32
