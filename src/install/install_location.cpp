#include "install/install_location.h"

#include "base/paths.h"
#include "install/programs_entry.h"
#include "os/registry.h"
#include "os/shell.h"

namespace corvane {

std::wstring registered_install_location() {
  return trim_trailing_slashes(
      os::read_registry_string(os::RegistryRoot::CurrentUser, kProgramsKey, L"InstallLocation"));
}

std::wstring default_install_dir() {
  std::wstring registered = registered_install_location();
  if (!registered.empty()) return registered;
  const std::wstring parent = os::default_install_parent();
  if (parent.empty()) return {};
  // "C:\" already ends with its separator.
  if (parent.back() == L'\\' || parent.back() == L'/') return parent + L"Corvane";
  return join_path(parent, L"Corvane");
}

}  // namespace corvane
