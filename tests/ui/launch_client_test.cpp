#include "ui/launch_client.h"

#include <gtest/gtest.h>

#include "app/record_launch.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

TEST(LaunchClient, StartsTheClientInItsFolderWithoutArguments) {
  test::TempDir client;
  test::install_record_launch_program(client / L"Corvane.exe");
  ASSERT_TRUE(launch_client(client.path()));
  EXPECT_EQ(test::wait_for_launch_record(client.path()), "");
  test::TempDir empty;
  EXPECT_FALSE(launch_client(empty.path()));
}

}  // namespace
}  // namespace corvane
