#include "ui/win32/webview2_loader.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwctype>
#include <utility>

namespace corvane::win32 {
namespace {

// Where EdgeUpdate registers each channel's install: ClientState\{id}, value "EBWebView" = the
// version folder of the install.
constexpr wchar_t kClientStateKey[] = L"SOFTWARE\\Microsoft\\EdgeUpdate\\ClientState\\";
constexpr wchar_t kInstallValue[] = L"EBWebView";
constexpr const wchar_t* kChannelIds[] = {
    L"{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}",  // the WebView2 Runtime (stable)
    L"{2CD8A007-E189-409D-A2C8-9AF4EF3C72AA}",  // Beta
    L"{0D50BFEC-CD6A-4F9A-964C-C7416E3ACB10}",  // Dev
    L"{65C35B14-6C1D-4122-AC46-7148CC9D6497}",  // Canary
};
// Where EdgeUpdate records each channel's installed version: Clients\{id}, value "pv". The
// version folder then lies in the channel's folder under the install root (per machine: the
// program files folders, per user: the local application data folder).
constexpr wchar_t kClientsKey[] = L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\";
constexpr wchar_t kVersionValue[] = L"pv";
constexpr const wchar_t* kChannelFolders[] = {L"EdgeWebView", L"Edge Beta", L"Edge Dev", L"Edge SxS"};
constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\Microsoft\\Edge\\WebView2\\";
constexpr char kClientEntry[] = "CreateWebViewEnvironmentWithOptionsInternal";

// The client library's entry: (check for a running browser of the same user data folder, the
// kind of runtime, user data folder, environment options, completion handler).
using ClientEntry = HRESULT(STDAPICALLTYPE*)(bool, int, PCWSTR, IUnknown*,
                                             ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*);

class RegKey {
 public:
  RegKey(HKEY root, const std::wstring& path, REGSAM view) {
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }

  // A REG_SZ or REG_EXPAND_SZ value (expanded), or a REG_DWORD as decimal text.
  std::optional<std::wstring> text(const wchar_t* name) const {
    if (!key_) return std::nullopt;
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key_, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
    if (type == REG_DWORD) {
      DWORD value = 0;
      bytes = sizeof value;
      if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
      }
      return std::to_wstring(value);
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    value.resize(std::min<std::size_t>(value.size(), bytes / sizeof(wchar_t)));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    if (type == REG_EXPAND_SZ) value = expand(value);
    return value;
  }

 private:
  static std::wstring expand(const std::wstring& value) {
    const DWORD needed = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
    if (needed == 0) return value;
    std::wstring out(needed, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(value.c_str(), out.data(), needed);
    if (written == 0 || written > needed) return value;
    out.resize(written - 1);
    return out;
  }

  HKEY key_ = nullptr;
};

std::optional<std::wstring> environment_value(const wchar_t* name) {
  const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::wstring value(needed, L'\0');
  const DWORD written = GetEnvironmentVariableW(name, value.data(), needed);
  if (written == 0 || written >= needed) return std::nullopt;
  value.resize(written);
  return value;
}

std::wstring module_path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring folder_of(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring last_component(std::wstring path) {
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// A policy value for this executable: per machine first, then per user; the executable's own
// file name first, then "*" when allowed.
std::optional<std::wstring> policy_value(const wchar_t* setting, bool wildcard) {
  const std::wstring key = std::wstring(kPolicyKey) + setting;
  const std::wstring exe = last_component(module_path());
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    const RegKey policies(root, key, 0);
    if (auto value = policies.text(exe.c_str())) return value;
    if (wildcard) {
      if (auto value = policies.text(L"*")) return value;
    }
  }
  return std::nullopt;
}

std::optional<std::wstring> override_value(const wchar_t* variable, const wchar_t* setting, bool wildcard) {
  if (auto value = environment_value(variable)) return value;
  return policy_value(setting, wildcard);
}

// "0,2" -> Stable and Dev; an entry that is not a channel number counts as Stable.
std::vector<Channel> parse_channels(std::wstring_view text) {
  bool wanted[4] = {};
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(L',', start), text.size());
    std::wstring item(text.substr(start, comma - start));
    item.erase(std::remove_if(item.begin(), item.end(), [](wchar_t c) { return std::iswspace(c); }), item.end());
    const int n = (item.size() == 1 && item[0] >= L'0' && item[0] <= L'3') ? item[0] - L'0' : 0;
    wanted[n] = true;
    start = comma + 1;
  }
  std::vector<Channel> channels;
  for (int n = 0; n < 4; ++n) {
    if (wanted[n]) channels.push_back(static_cast<Channel>(n));
  }
  return channels;
}

bool contains_ignoring_case(std::wstring_view text, std::wstring_view part) {
  std::wstring a(text), b(part);
  for (auto& c : a) c = static_cast<wchar_t>(std::towlower(c));
  for (auto& c : b) c = static_cast<wchar_t>(std::towlower(c));
  return a.find(b) != std::wstring::npos;
}

bool file_exists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The folders that may hold the installs of one registry root, from the environment.
std::vector<std::wstring> install_roots(HKEY root) {
  std::vector<std::wstring> roots;
  const std::vector<const wchar_t*> variables =
      root == HKEY_CURRENT_USER ? std::vector<const wchar_t*>{L"LOCALAPPDATA"}
                                : std::vector<const wchar_t*>{L"ProgramFiles(x86)", L"ProgramFiles"};
  for (const wchar_t* variable : variables) {
    if (auto folder = environment_value(variable); folder && !folder->empty()) roots.push_back(*folder);
  }
  return roots;
}

// The version folders registered for `channel`: those EdgeUpdate names directly (ClientState),
// and those its recorded version names in the channel's folder under each install root (Clients).
std::vector<std::wstring> registered_folders(Channel channel) {
  std::vector<std::wstring> folders;
  const wchar_t* id = kChannelIds[static_cast<int>(channel)];
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      if (auto folder = RegKey(root, std::wstring(kClientStateKey) + id, view).text(kInstallValue)) {
        folders.push_back(*folder);
      }
    }
  }
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      const auto version = RegKey(root, std::wstring(kClientsKey) + id, view).text(kVersionValue);
      // "0.0.0.0" stands for an install that was removed.
      if (!version || !parse_runtime_version(*version) || *version == L"0.0.0.0") continue;
      for (const std::wstring& base : install_roots(root)) {
        folders.push_back(base + L"\\Microsoft\\" + kChannelFolders[static_cast<int>(channel)] + L"\\Application\\" +
                          *version);
      }
    }
  }
  return folders;
}

// A version folder with the client of another processor only (x86, or ARM64 on such a machine).
bool has_only_other_clients(const std::wstring& runtime_folder) {
  std::wstring base(runtime_folder);
  if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
  for (const wchar_t* machine : {L"x86", L"arm64"}) {
    if (file_exists(base + L"EBWebView\\" + machine + L"\\EmbeddedBrowserWebView.dll")) return true;
  }
  return false;
}

}  // namespace

std::optional<RuntimeVersion> parse_runtime_version(std::wstring_view text) {
  RuntimeVersion version;
  std::size_t part = 0;
  std::size_t i = 0;
  while (part < 4) {
    if (i >= text.size() || text[i] < L'0' || text[i] > L'9') return std::nullopt;
    std::uint64_t value = 0;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
      value = value * 10 + static_cast<std::uint64_t>(text[i] - L'0');
      if (value > 0xFFFFFFFFu) return std::nullopt;
      ++i;
    }
    version.parts[part++] = static_cast<std::uint32_t>(value);
    if (part < 4) {
      if (i >= text.size() || text[i] != L'.') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  return version;
}

std::wstring client_library_of(std::wstring_view runtime_folder) {
  std::wstring library(runtime_folder);
  if (!library.empty() && library.back() != L'\\' && library.back() != L'/') library += L'\\';
  return library + L"EBWebView\\x64\\EmbeddedBrowserWebView.dll";
}

LoaderSettings resolve_loader_settings(PCWSTR browser_folder, PCWSTR user_data_folder) {
  LoaderSettings settings;
  settings.browser_folder = browser_folder ? browser_folder : L"";
  settings.user_data_folder = user_data_folder ? user_data_folder : L"";
  if (auto folder = override_value(L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", L"BrowserExecutableFolder", true)) {
    settings.browser_folder = *folder;
  }
  // A user data folder is one application's own: no "*" policy for it.
  if (auto folder = override_value(L"WEBVIEW2_USER_DATA_FOLDER", L"UserDataFolder", false)) {
    settings.user_data_folder = *folder;
  }
  auto kind = override_value(L"WEBVIEW2_CHANNEL_SEARCH_KIND", L"ChannelSearchKind", true);
  // The older name of the same switch.
  if (!kind) kind = override_value(L"WEBVIEW2_RELEASE_CHANNEL_PREFERENCE", L"ReleaseChannelPreference", true);
  settings.least_stable_first = kind && *kind == L"1";
  const auto channels = override_value(L"WEBVIEW2_RELEASE_CHANNELS", L"ReleaseChannels", true);
  settings.channels = channels ? parse_channels(*channels)
                               : std::vector<Channel>{Channel::Stable, Channel::Beta, Channel::Dev, Channel::Canary};
  if (settings.least_stable_first) std::reverse(settings.channels.begin(), settings.channels.end());
  return settings;
}

std::vector<RuntimeClient> find_runtime_clients(const LoaderSettings& settings, HRESULT& error) {
  std::vector<RuntimeClient> clients;
  error = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  if (!settings.browser_folder.empty()) {
    std::wstring folder = settings.browser_folder;
    if (PathIsRelativeW(folder.c_str())) folder = folder_of(module_path()) + L"\\" + folder;
    // A browser's own install is no fixed-version runtime.
    if (contains_ignoring_case(folder, L"\\Edge\\Application\\")) {
      error = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
      return clients;
    }
    RuntimeClient client{client_library_of(folder), {}, RuntimeKind::FixedVersion};
    if (file_exists(client.library)) clients.push_back(std::move(client));
    return clients;
  }

  bool other_machines_only = false;
  for (const Channel channel : settings.channels) {
    std::vector<RuntimeClient> found;
    for (const std::wstring& folder : registered_folders(channel)) {
      if (folder.empty()) continue;
      const auto version = parse_runtime_version(last_component(folder));
      if (!version || *version < kMinimumRuntime) continue;
      RuntimeClient client{client_library_of(folder), *version, RuntimeKind::Installed};
      const bool known = std::any_of(found.begin(), found.end(), [&](const RuntimeClient& c) {
        return CompareStringOrdinal(c.library.c_str(), -1, client.library.c_str(), -1, TRUE) == CSTR_EQUAL;
      });
      if (known) continue;
      if (file_exists(client.library)) {
        found.push_back(std::move(client));
      } else if (has_only_other_clients(folder)) {
        other_machines_only = true;
      }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const RuntimeClient& a, const RuntimeClient& b) { return a.version > b.version; });
    for (auto& client : found) clients.push_back(std::move(client));
  }
  if (clients.empty() && other_machines_only) error = kRuntimeWithoutX64;
  return clients;
}

}  // namespace corvane::win32

using corvane::win32::RuntimeClient;

// The published loader function. The first client that loads and has the creation entry creates
// the environment; its library then stays loaded for the life of the process, as the environment
// and everything made from it live in it.
STDAPI CreateCoreWebView2EnvironmentWithOptions(PCWSTR browser_folder, PCWSTR user_data_folder,
                                                ICoreWebView2EnvironmentOptions* options,
                                                ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  using namespace corvane::win32;
  if (!handler) return E_POINTER;
  const LoaderSettings settings = resolve_loader_settings(browser_folder, user_data_folder);
  HRESULT error = S_OK;
  const std::vector<RuntimeClient> clients = find_runtime_clients(settings, error);
  for (const RuntimeClient& client : clients) {
    // By its full path only; the libraries it needs come from its own folder and the system
    // folder, never from the current folder or PATH.
    if (PathIsRelativeW(client.library.c_str())) continue;
    HMODULE library = LoadLibraryExW(client.library.c_str(), nullptr,
                                     LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!library) {
      error = HRESULT_FROM_WIN32(GetLastError());
      continue;
    }
    auto entry = reinterpret_cast<ClientEntry>(reinterpret_cast<void*>(GetProcAddress(library, kClientEntry)));
    if (!entry) {
      error = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
      FreeLibrary(library);
      continue;
    }
    const PCWSTR data = settings.user_data_folder.empty() ? nullptr : settings.user_data_folder.c_str();
    return entry(true, static_cast<int>(client.kind), data, options, handler);
  }
  return FAILED(error) ? error : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}
