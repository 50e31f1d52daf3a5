#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The registry: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE with REG_SZ and REG_DWORD values. On
// Linux a small file-backed store under $XDG_DATA_HOME/corvane/registry stands in for it, with
// the same key paths (backslash-separated, compared without regard to letter case).
namespace corvane::os {

enum class RegistryRoot { CurrentUser, LocalMachine };

// RegGetValue restricted to REG_SZ: the text up to its first NUL, or empty when the key or value
// is missing, the value is of another type (REG_EXPAND_SZ and REG_DWORD included) or holds fewer
// than two bytes.
std::wstring read_registry_string(RegistryRoot root, std::wstring_view subkey, std::wstring_view value);

// The REG_DWORD value, or nothing when the key or value is missing or of another type.
std::optional<std::uint32_t> read_registry_dword(RegistryRoot root, std::wstring_view subkey,
                                                 std::wstring_view value);

// An open key for setting values (RegCreateKeyEx with KEY_SET_VALUE). Closed when it goes.
class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey();
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Creates the key and its missing parents, or opens it. False when that fails.
  [[nodiscard]] bool create(RegistryRoot root, std::wstring_view subkey);
  bool is_open() const { return handle_ != nullptr; }
  void close();

  // REG_SZ, stored with its terminating NUL ((characters + 1) x 2 bytes on Windows).
  [[nodiscard]] bool set_string(std::wstring_view name, std::wstring_view text);
  // REG_DWORD, 4 bytes.
  [[nodiscard]] bool set_dword(std::wstring_view name, std::uint32_t value);
  // REG_EXPAND_SZ; the setup never writes one, tests do to show that it is not read as REG_SZ.
  [[nodiscard]] bool set_expand_string(std::wstring_view name, std::wstring_view text);

 private:
  void* handle_ = nullptr;  // HKEY on Windows; the store's open key on Linux
};

// RegDeleteTree of `subkey` and the key itself. False when it could not be removed.
bool delete_registry_tree(RegistryRoot root, std::wstring_view subkey);

}  // namespace corvane::os
