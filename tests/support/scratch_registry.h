#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "support/temp_dir.h"

// Registry keys of the test's own, so that tests running at the same time never meet.
namespace corvane::test {

// On Linux the whole registry store moves into a temporary folder for the life of the object. On
// Windows the real registry is used, and the keys that key() names live below a key of this
// object ("Software\Corvane-tests\<pid>-<n>" in both roots), removed when the object goes.
class ScratchRegistry {
 public:
  ScratchRegistry();
  ~ScratchRegistry();
  ScratchRegistry(const ScratchRegistry&) = delete;
  ScratchRegistry& operator=(const ScratchRegistry&) = delete;

  // A key path for the test: `relative` below this object's own key.
  std::wstring key(std::wstring_view relative) const;

 private:
  std::wstring base_;
  std::unique_ptr<TempDir> store_;
  std::unique_ptr<ScopedEnv> store_env_;
};

}  // namespace corvane::test
