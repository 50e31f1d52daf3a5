#include "os/registry.h"

#include <windows.h>

#include <utility>

#include "os/win32/win32_common.h"

// The registry as the system has it. Calls name no registry view: a 64-bit program reads and
// writes the 64-bit view, and the "WOW6432Node" paths of the game's and Steam's keys name the
// 32-bit view themselves.
//
// Strings are read with RRF_NOEXPAND beside RRF_RT_REG_SZ: without it RegGetValue expands a
// REG_EXPAND_SZ value and hands it out as REG_SZ, and such values are not to be read.
namespace corvane::os {
namespace {

constexpr DWORD kStringFlags = RRF_RT_REG_SZ | RRF_NOEXPAND;

HKEY hkey_of(RegistryRoot root) {
  return root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

HKEY key_of(void* handle) { return static_cast<HKEY>(handle); }

bool set_value(void* handle, std::wstring_view name, DWORD type, const void* data, std::size_t bytes) {
  const auto native_name = win32::checked_text(name);
  if (handle == nullptr || !native_name || bytes > MAXDWORD) return false;
  return ::RegSetValueExW(key_of(handle), native_name->c_str(), 0, type, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(bytes)) == ERROR_SUCCESS;
}

// REG_SZ and REG_EXPAND_SZ: the text and its terminating NUL, (characters + 1) x 2 bytes.
bool set_text(void* handle, std::wstring_view name, DWORD type, std::wstring_view text) {
  const std::wstring stored(text);  // c_str() supplies the terminating NUL
  return set_value(handle, name, type, stored.c_str(), (stored.size() + 1) * sizeof(wchar_t));
}

}  // namespace

std::wstring read_registry_string(RegistryRoot root, std::wstring_view subkey, std::wstring_view value) {
  const auto key = win32::checked_text(subkey);
  const auto name = win32::checked_text(value);
  if (!key || !name) return {};
  // The size is asked first; a value that grows in between is asked again.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD bytes = 0;
    if (::RegGetValueW(hkey_of(root), key->c_str(), name->c_str(), kStringFlags, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        bytes < 2) {
      return {};
    }
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const LSTATUS status =
        ::RegGetValueW(hkey_of(root), key->c_str(), name->c_str(), kStringFlags, nullptr, text.data(), &got);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return {};
    text.resize(got / sizeof(wchar_t));
    if (const auto nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
    return text;
  }
  return {};
}

std::optional<std::uint32_t> read_registry_dword(RegistryRoot root, std::wstring_view subkey,
                                                 std::wstring_view value) {
  const auto key = win32::checked_text(subkey);
  const auto name = win32::checked_text(value);
  if (!key || !name) return std::nullopt;
  DWORD data = 0;
  DWORD bytes = sizeof data;
  if (::RegGetValueW(hkey_of(root), key->c_str(), name->c_str(), RRF_RT_REG_DWORD, nullptr, &data, &bytes) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(data);
}

void RegistryKey::close() {
  if (handle_ != nullptr) ::RegCloseKey(key_of(std::exchange(handle_, nullptr)));
}

bool RegistryKey::create(RegistryRoot root, std::wstring_view subkey) {
  close();
  const auto key = win32::checked_text(subkey);
  // An empty path would hand out the root itself.
  if (!key || key->empty()) return false;
  HKEY opened = nullptr;
  if (::RegCreateKeyExW(hkey_of(root), key->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                        &opened, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  handle_ = opened;
  return true;
}

bool RegistryKey::set_string(std::wstring_view name, std::wstring_view text) {
  return set_text(handle_, name, REG_SZ, text);
}

bool RegistryKey::set_expand_string(std::wstring_view name, std::wstring_view text) {
  return set_text(handle_, name, REG_EXPAND_SZ, text);
}

bool RegistryKey::set_dword(std::wstring_view name, std::uint32_t value) {
  const DWORD data = value;
  return set_value(handle_, name, REG_DWORD, &data, sizeof data);
}

bool delete_registry_tree(RegistryRoot root, std::wstring_view subkey) {
  const auto key = win32::checked_text(subkey);
  // An empty path would name the root and empty all of HKEY_CURRENT_USER.
  if (!key || key->empty()) return false;
  return ::RegDeleteTreeW(hkey_of(root), key->c_str()) == ERROR_SUCCESS;
}

}  // namespace corvane::os
