#include "config/launcher_config.h"

#include <gtest/gtest.h>

#include <vector>

#include "os/fs.h"
#include "os/text.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

constexpr char kEmptyLayout[] =
    "{\n"
    "  \"gamePath\":\"\",\n"
    "  \"clientVersion\":\"\",\n"
    "  \"channel\":\"\",\n"
    "  \"serial\":\"\",\n"
    "  \"resources\": [],\n"
    "  \"settings\": {},\n"
    "  \"history\": [],\n"
    "  \"favorites\": []\n"
    "}\n";

class LauncherConfigFile : public ::testing::Test {
 protected:
  std::wstring file() const { return dir_ / L"launcher.json"; }
  std::wstring data(std::wstring_view name) const { return dir_ / (L"data/" + std::wstring(name)); }
  bool exists(std::wstring_view path) const { return os::file_info(path).has_value(); }

  test::TempDir dir_;
};

TEST_F(LauncherConfigFile, StoreGamePathWithoutAFileWritesTheWholeLayout) {
  ASSERT_TRUE(store_game_path(dir_.path(), L""));
  std::string expected = kEmptyLayout;
  EXPECT_EQ(test::read_text(file()), expected);

  ASSERT_TRUE(store_game_path(dir_.path(), L"D:\\Games\\GTA V\\\\"));
  EXPECT_EQ(read_saved_game_path(dir_.path()), "D:\\Games\\GTA V");
  expected.replace(expected.find("\"gamePath\":\"\""), 13, "\"gamePath\":\"D:\\\\Games\\\\GTA V\"");
  EXPECT_EQ(test::read_text(file()), expected);

  ASSERT_TRUE(store_game_path(dir_.path(), L"C:\\"));
  EXPECT_EQ(read_saved_game_path(dir_.path()), "C:\\");
  ASSERT_TRUE(store_game_path(dir_.path(), L"/home/u/G\u00e9 \"x\"/"));
  EXPECT_EQ(read_saved_game_path(dir_.path()), "/home/u/G\xC3\xA9 \"x\"");
  EXPECT_FALSE(exists(file() + L".tmp"));
}

TEST_F(LauncherConfigFile, UpdatesKeepEverythingElseInTheFile) {
  test::write_text(file(),
                   "{\n"
                   "  \"gamePath\":\"old\",\n"
                   "  \"clientVersion\":\"1.0\",\n"
                   "  \"channel\":\"release\",\n"
                   "  \"serial\":\"S-1\",\n"
                   "  \"unknown\":\"dropped\",\n"
                   "  \"resources\": [\n    {\"folder\":\"m\",\"host\":\"r.example\",\"port\":80}\n  ],\n"
                   "  \"settings\": {\n    \"theme\":\"dark\",\n    \"volume\": 5,\n    \"pre\\\\fix\":[1]\n  },\n"
                   "  \"history\": [\n    {\"id\":\"x\",\"host\":\"h\",\"port\":7,\"name\":\"N\",\"at\":-1}\n  ],\n"
                   "  \"favorites\": []\n"
                   "}\n");
  ASSERT_TRUE(store_game_path(dir_.path(), L"G"));
  ASSERT_TRUE(set_client_version(dir_.path(), "2.0"));
  const std::string expected =
      "{\n"
      "  \"gamePath\":\"G\",\n"
      "  \"clientVersion\":\"2.0\",\n"
      "  \"channel\":\"release\",\n"
      "  \"serial\":\"S-1\",\n"
      "  \"resources\": [\n    {\"folder\":\"m\",\"host\":\"r.example\",\"port\":80}\n  ],\n"
      "  \"settings\": {\n    \"theme\":\"dark\",\n    \"volume\":5,\n    \"pre\\\\fix\":[1]\n  },\n"
      "  \"history\": [\n    {\"id\":\"\",\"host\":\"h\",\"port\":7,\"name\":\"N\",\"at\":-1}\n  ],\n"
      "  \"favorites\": []\n"
      "}\n";
  EXPECT_EQ(test::read_text(file()), expected);
  // A second round leaves the text as it is (the escaped key does not grow).
  ASSERT_TRUE(store_game_path(dir_.path(), L"G"));
  EXPECT_EQ(test::read_text(file()), expected);
}

TEST_F(LauncherConfigFile, SetClientVersionWritesOnlyOnAChange) {
  const std::string hand_written = "{\n  \"clientVersion\":\"3.1\",\n   \"extra\": 1\n}";
  test::write_text(file(), hand_written);
  {
    std::vector<os::FsOp> calls;
    test::ScopedFsFault record([&](os::FsOp op, std::wstring_view, std::wstring_view) {
      calls.push_back(op);
      return os::kErrorSuccess;
    });
    EXPECT_TRUE(set_client_version(dir_.path(), "3.1"));
    EXPECT_TRUE(calls.empty());
  }
  EXPECT_EQ(test::read_text(file()), hand_written);
  ASSERT_TRUE(set_client_version(dir_.path(), "3.2"));
  EXPECT_EQ(load_launcher_config(dir_.path()).clientVersion, "3.2");
}

TEST_F(LauncherConfigFile, FailedSaveLeavesTheOldFileAndReportsFalse) {
  ASSERT_TRUE(store_game_path(dir_.path(), L"before"));
  const std::string before = test::read_text(file());
  test::make_dirs(dir_ / L"data");
  test::write_text(data(L"history.json"), "{\"host\":\"a\",\"port\":1}\n");
  {
    test::ScopedFsFault no_move([](os::FsOp op, std::wstring_view, std::wstring_view) {
      return op == os::FsOp::Move ? os::kErrorSharingViolation : os::kErrorSuccess;
    });
    EXPECT_FALSE(store_game_path(dir_.path(), L"after"));
    EXPECT_FALSE(set_client_version(dir_.path(), "9"));
  }
  EXPECT_EQ(test::read_text(file()), before);
  EXPECT_TRUE(exists(data(L"history.json")));  // older files go only after a successful save
  {
    test::ScopedFsFault no_write([](os::FsOp op, std::wstring_view, std::wstring_view) {
      return op == os::FsOp::Write || op == os::FsOp::OpenForWrite ? os::kErrorDiskFull : os::kErrorSuccess;
    });
    EXPECT_FALSE(store_game_path(dir_.path(), L"after"));
  }
  EXPECT_EQ(test::read_text(file()), before);
  EXPECT_EQ(read_saved_game_path(dir_.path()), "before");
}

TEST_F(LauncherConfigFile, OlderFilesAreImportedOnceAndDeletedAfterTheFirstSave) {
  test::make_dirs(dir_ / L"data");
  std::string history;
  for (int i = 1; i <= 31; ++i) {
    history += "{\"host\":\"h" + std::to_string(i) + "\",\"port\":22005,\"name\":\"n\",\"at\":" +
               std::to_string(i) + "}\r\n";
  }
  test::write_text(data(L"history.json"), history + "{\"host\":\"bad_host\",\"port\":1}\n");
  test::write_text(data(L"favorites.json"), "garbage\n{\"host\":\"fav\",\"port\":65535}");
  LauncherConfig config = load_launcher_config(dir_.path());
  ASSERT_EQ(config.history.size(), 30u);
  EXPECT_EQ(config.history[29].host, "h30");
  EXPECT_EQ(config.history[29].at, 30);
  ASSERT_EQ(config.favorites.size(), 1u);
  EXPECT_EQ(config.favorites[0].port, 65535);
  EXPECT_TRUE(config.gamePath.empty());

  ASSERT_TRUE(store_game_path(dir_.path(), L"G"));
  EXPECT_FALSE(exists(data(L"history.json")));
  EXPECT_FALSE(exists(data(L"favorites.json")));
  config.gamePath = "G";
  EXPECT_EQ(load_launcher_config(dir_.path()), config);
}

TEST_F(LauncherConfigFile, OlderLauncherJsonIsReadWithTheListsBesideIt) {
  test::make_dirs(dir_ / L"data");
  test::write_text(data(L"launcher.json"), "{\n  \"gamePath\":\"old G\",\n  \"serial\":\"S\"\n}\n");
  test::write_text(data(L"history.json"), "{\"host\":\"h\",\"port\":1}\n");
  test::write_text(data(L"favorites.json"), "{\"host\":\"f\",\"port\":2}\n");
  ASSERT_TRUE(set_client_version(dir_.path(), "1"));
  for (const wchar_t* name : {L"launcher.json", L"history.json", L"favorites.json"}) {
    EXPECT_FALSE(exists(data(name))) << os::to_utf8(name);
  }
  const LauncherConfig config = load_launcher_config(dir_.path());
  EXPECT_EQ(config.gamePath, "old G");
  EXPECT_EQ(config.serial, "S");
  ASSERT_EQ(config.history.size(), 1u);
  EXPECT_EQ(config.history[0].host, "h");
  ASSERT_EQ(config.favorites.size(), 1u);
  EXPECT_EQ(config.favorites[0].host, "f");

  // An older launcher.json that carries its own list keeps it.
  test::TempDir other;
  test::make_dirs(other / L"data");
  test::write_text(other / L"data/launcher.json", "  \"history\": [\n    {\"host\":\"own\",\"port\":3}\n");
  test::write_text(other / L"data/history.json", "{\"host\":\"h\",\"port\":1}\n");
  const LauncherConfig own = load_launcher_config(other.path());
  ASSERT_EQ(own.history.size(), 1u);
  EXPECT_EQ(own.history[0].host, "own");
}

TEST_F(LauncherConfigFile, PresentFileWinsEvenWhenEmptyOrUnreadable) {
  test::make_dirs(dir_ / L"data");
  test::write_text(data(L"history.json"), "{\"host\":\"h\",\"port\":1}\n");
  test::write_text(file(), "");
  EXPECT_EQ(load_launcher_config(dir_.path()), LauncherConfig{});
  test::write_text(file(), std::string("\xEF\xBB\xBF\0\xFF{[\"\n\n\"history\":\0", 20));
  EXPECT_EQ(load_launcher_config(dir_.path()), LauncherConfig{});

  // A folder in its place cannot be read: the older files are read instead.
  test::remove_all(file());
  test::make_dirs(file());
  EXPECT_EQ(load_launcher_config(dir_.path()).history.size(), 1u);
  EXPECT_FALSE(store_game_path(dir_.path(), L"G"));  // a file never replaces a folder
  EXPECT_EQ(read_saved_game_path(dir_.path()), "");
}

}  // namespace
}  // namespace corvane
