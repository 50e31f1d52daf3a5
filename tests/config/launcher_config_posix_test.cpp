// launcher.json that this user cannot read: it is left exactly as it is, and the calls that would
// rewrite it fail. Permissions only bind ordinary users, so the calls run as one.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "config/launcher_config.h"
#include "os/fs.h"
#include "os/text.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

constexpr char kSaved[] =
    "{\n"
    "  \"gamePath\":\"/games/gta\",\n"
    "  \"clientVersion\":\"1.0.0\",\n"
    "  \"channel\":\"\",\n"
    "  \"serial\":\"S-1\",\n"
    "  \"resources\": [],\n"
    "  \"settings\": {},\n"
    "  \"history\": [\n"
    "    {\"id\":\"\",\"host\":\"play.example.net\",\"port\":22005,\"name\":\"mine\",\"at\":5}\n"
    "  ],\n"
    "  \"favorites\": []\n"
    "}\n";

TEST(LauncherConfigAccess, AFileThatCannotBeReadIsNeverReplacedByDefaults) {
  test::TempDir dir;
  const std::wstring file = dir / L"launcher.json";
  test::write_text(file, kSaved);
  test::give_to_unprivileged_user(dir.path());
  ASSERT_EQ(::chmod(os::to_utf8(file).c_str(), 0), 0);  // its owner may write the folder, not read the file

  // 1: a call wrote the file; 2: a call reported success; 0: both left it alone and failed.
  const int code = test::run_as_unprivileged_user([&] {
    if (store_game_path(dir.path(), L"/elsewhere")) return 2;
    if (set_client_version(dir.path(), "2.0.0")) return 2;
    return 0;
  });
  ASSERT_NE(code, test::kCannotDropRoot);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(test::read_text(file), kSaved);
  EXPECT_FALSE(os::file_info(dir / L"launcher.json.tmp").has_value());
}

}  // namespace
}  // namespace corvane
