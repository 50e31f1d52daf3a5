// The Linux registry store: its writes go through the file-system calls.
#include <gtest/gtest.h>

#include "os/registry.h"
#include "support/scratch_registry.h"

namespace corvane::os {
namespace {

TEST(RegistryPosix, AFailingStoreWriteFailsTheValue) {
  test::ScratchRegistry registry;
  RegistryKey key;
  ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, registry.key(L"Corvane")));
  test::ScopedFsFault fault([](FsOp op, std::wstring_view, std::wstring_view) {
    return op == FsOp::Write || op == FsOp::OpenForWrite ? kErrorAccessDenied : kErrorSuccess;
  });
  EXPECT_FALSE(key.set_string(L"DisplayName", L"Corvane"));
}

}  // namespace
}  // namespace corvane::os
