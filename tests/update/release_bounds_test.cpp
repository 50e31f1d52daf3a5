// The serial and expiry members of a signed manifest, as the builder writes them and the client
// reads them.
#include <gtest/gtest.h>

#include "update/release_bounds.h"

namespace corvane {
namespace {

TEST(ReleaseBounds, ReadsTheMembersTheBuilderWritesAndRefusesMalformedOnes) {
  const std::string manifest = "{\"format\": 1, \"version\": \"1\", \"files\": [{\"a\": [1, {}]}]}";
  ReleaseBounds bounds;
  ASSERT_TRUE(read_release_bounds(with_release_bounds(manifest, 12, "2027-01-31T00:00:00Z"), bounds));
  EXPECT_EQ(bounds.serial, 12u);
  EXPECT_TRUE(bounds.expires_set);
  EXPECT_EQ(bounds.expires, 1801353600);
  ASSERT_TRUE(read_release_bounds(with_release_bounds(manifest, 0, ""), bounds));
  EXPECT_EQ(bounds.serial, 0u);
  EXPECT_FALSE(bounds.expires_set);

  const struct {
    const char* text;
    bool valid;
    std::int64_t seconds;
  } times[] = {
      {"1970-01-01T00:00:00Z", true, 0},
      {"2024-02-29T23:59:59Z", true, 1709251199},
      {"2000-02-29T12:00:00Z", true, 951825600},
      {"2023-02-29T00:00:00Z", false, 0},  // no leap day
      {"2100-02-29T00:00:00Z", false, 0},
      {"2027-01-31T24:00:00Z", false, 0},
      {"2027-01-31T00:00:00", false, 0},   // local time
      {"2027-01-31T00:00:00+00:00", false, 0},
      {"2027-1-31T00:00:00Z", false, 0},
      {"1969-12-31T23:59:59Z", false, 0},
  };
  for (const auto& t : times) {
    std::int64_t seconds = -1;
    EXPECT_EQ(parse_utc_time(t.text, seconds), t.valid) << t.text;
    if (t.valid) {
      EXPECT_EQ(seconds, t.seconds) << t.text;
    }
  }
  for (const char* text : {"{\"serial\": \"3\"}", "{\"serial\": -1}", "{\"expires\": 1801526400}",
                           "{\"expires\": \"tomorrow\"}", "[]"}) {
    EXPECT_FALSE(read_release_bounds(text, bounds)) << text;
  }
}

}  // namespace
}  // namespace corvane
