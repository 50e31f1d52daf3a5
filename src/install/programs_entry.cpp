#include "install/programs_entry.h"

#include <string>
#include <vector>

#include "base/paths.h"
#include "os/fs.h"
#include "os/text.h"

namespace corvane {

bool set_string_value(os::RegistryKey& key, std::wstring_view name, std::wstring_view text) {
  return key.set_string(name, text);
}

bool set_dword_value(os::RegistryKey& key, std::wstring_view name, std::uint32_t value) {
  return key.set_dword(name, value);
}

std::uint64_t folder_size(std::wstring_view folder) {
  std::vector<os::DirEntry> entries;
  if (!os::list_directory(folder, entries)) return 0;
  std::uint64_t total = 0;
  for (const os::DirEntry& entry : entries) {
    if (entry.info.is_link) continue;
    total += entry.info.is_directory ? folder_size(join_path(folder, entry.name)) : entry.info.size;
  }
  return total;
}

std::uint32_t estimated_size_kib(std::uint64_t bytes) {
  const std::uint64_t kib = bytes / 1024;
  return kib > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(kib);
}

bool write_programs_entry(const InstallRequest& request, std::string_view version) {
  os::RegistryKey key;
  if (!key.create(os::RegistryRoot::CurrentUser, kProgramsKey)) return false;
  const std::wstring& dir = request.install_dir;
  const std::wstring uninstaller = join_path(dir, L"uninstall.exe");
  const std::uint32_t size_kib = estimated_size_kib(folder_size(dir));
  return set_string_value(key, L"DisplayName", L"Corvane") &&
         set_string_value(key, L"DisplayVersion", os::from_utf8(version)) &&
         set_string_value(key, L"Publisher", L"Corvane") &&
         set_string_value(key, L"DisplayIcon", L"\"" + join_path(dir, L"Corvane.exe") + L"\",0") &&
         set_string_value(key, L"InstallLocation", dir) &&
         set_string_value(key, L"UninstallString", L"\"" + uninstaller + L"\" /uninstall") &&
         set_dword_value(key, L"NoModify", 1) && set_dword_value(key, L"NoRepair", 1) &&
         set_dword_value(key, L"EstimatedSize", size_kib);
}

}  // namespace corvane
