#include "base/size_text.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

// The same texts as the page's own formatting of sizes (src/ui/web/src/format.ts).
TEST(SizeText, WritesSizesAsThePageDoes) {
  EXPECT_EQ(size_text(0), "0 Kb");
  EXPECT_EQ(size_text(921600), "900 Kb");
  EXPECT_EQ(size_text(1048575), "1024 Kb");  // just below a mebibyte still counts in kibibytes
  EXPECT_EQ(size_text(1048576), "1,0 Mb");
  EXPECT_EQ(size_text(367001600), "350,0 Mb");
  EXPECT_EQ(size_text(12 * 1048576 + 1048576 / 2), "12,5 Mb");
  EXPECT_EQ(size_text(1073741823), "1024,0 Mb");
  EXPECT_EQ(size_text(1610612736), "1,5 Gb");
  EXPECT_EQ(size_text(4286578688ull), "4,0 Gb");
  EXPECT_EQ(size_text(10ull * 1073741824 + 1030792151), "11,0 Gb");  // 10.96 rounds up
}

}  // namespace
}  // namespace corvane
