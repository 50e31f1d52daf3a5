// The entry point of the Windows test programs: they are linked with -municode, so the C runtime
// calls wmain with the wide arguments instead of GoogleTest's main().
#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
