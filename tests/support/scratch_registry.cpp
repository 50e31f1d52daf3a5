#include "support/scratch_registry.h"

#include "os/platform.h"
#include "os/registry.h"

namespace corvane::test {

ScratchRegistry::ScratchRegistry() : store_(std::make_unique<TempDir>()) {
  // The temporary folder's name is unique among all running tests: the key takes it over.
  const std::wstring& folder = store_->path();
  base_ = L"Software\\Corvane-tests\\" + folder.substr(folder.find_last_of(L"\\/") + 1);
  if constexpr (!os::kIsWindows) store_env_ = std::make_unique<ScopedEnv>("XDG_DATA_HOME", store_->utf8());
}

ScratchRegistry::~ScratchRegistry() {
  if constexpr (os::kIsWindows) {
    (void)os::delete_registry_tree(os::RegistryRoot::CurrentUser, base_);
    (void)os::delete_registry_tree(os::RegistryRoot::LocalMachine, base_);
  }
}

std::wstring ScratchRegistry::key(std::wstring_view relative) const { return base_ + L"\\" + std::wstring(relative); }

}  // namespace corvane::test
