#include "game/game_locator.h"

#include <gtest/gtest.h>

#include "config/launcher_config.h"
#include "os/registry.h"
#include "os/text.h"
#include "os/platform.h"
#include "support/temp_dir.h"
#include "support/user_state.h"

namespace corvane {
namespace {

constexpr wchar_t kRockstarKey[] = L"SOFTWARE\\WOW6432Node\\Rockstar Games\\Grand Theft Auto V";
constexpr wchar_t kSteamUserKey[] = L"Software\\Valve\\Steam";
constexpr wchar_t kSteamMachineKey[] = L"SOFTWARE\\WOW6432Node\\Valve\\Steam";

// A machine of its own: on Linux the registry store and ProgramData live in temporary folders; on
// Windows the real keys and manifests folder are cleared before and after (FixedUserState).
class GameLocator : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!user_state_.refusal().empty()) GTEST_SKIP() << user_state_.refusal();
  }

  // Creates `relative` below the temporary folder with a GTA5.exe in it; returns its path.
  std::wstring make_game(std::wstring_view relative) {
    const std::wstring folder = root_ / relative;
    test::make_dirs(folder);
    test::write_text(folder + L"/GTA5.exe", "MZ");
    return folder;
  }
  static void set_string(os::RegistryRoot root, std::wstring_view key, std::wstring_view name,
                         std::wstring_view value) {
    os::RegistryKey handle;
    ASSERT_TRUE(handle.create(root, key));
    ASSERT_TRUE(handle.set_string(name, value));
  }
  std::wstring epic_dir() const {
    return os::kIsWindows ? test::system_program_data_folder() + L"\\Epic\\EpicGamesLauncher\\Data\\Manifests"
                          : program_data_ / L"Epic/EpicGamesLauncher/Data/Manifests";
  }
  // A path as VDF and JSON texts write it: a backslash before each backslash and quote.
  static std::string escaped(std::wstring_view path) {
    std::string out;
    for (const char c : os::to_utf8(path)) {
      if (c == '\\' || c == '"') out.push_back('\\');
      out.push_back(c);
    }
    return out;
  }
  void write_epic(std::wstring_view name, std::string_view display_name, std::wstring_view location) {
    test::make_dirs(epic_dir());
    test::write_text(epic_dir() + L"/" + std::wstring(name),
                     "{\n\t\"FormatVersion\": 0,\n\t\"DisplayName\": \"" + std::string(display_name) +
                         "\",\n\t\"InstallLocation\": \"" + escaped(location) + "\"\n}\n");
  }
  std::string root_text() const { return escaped(root_.path()); }

  test::TempDir root_;
  test::TempDir registry_;
  test::TempDir program_data_;
  test::ScopedEnv data_home_{"XDG_DATA_HOME", registry_.utf8()};
  test::ScopedEnv data_dirs_{"XDG_DATA_DIRS", program_data_.utf8() + ":/usr/share"};
  test::FixedUserState user_state_;
};

TEST_F(GameLocator, GameFolderNeedsSomethingNamedGta5Exe) {
  EXPECT_FALSE(is_game_dir(L""));
  EXPECT_FALSE(is_game_dir(root_.path()));
  const std::wstring game = make_game(L"Games/GTA V");
  EXPECT_TRUE(is_game_dir(game));
  EXPECT_TRUE(is_game_dir(game + L"/"));
  EXPECT_TRUE(is_game_dir(game + L"//\\"));
  test::make_dirs(root_ / L"odd/GTA5.exe");
  EXPECT_TRUE(is_game_dir(root_ / L"odd"));
  EXPECT_FALSE(is_game_dir(root_ / L"odd/GTA5.exe"));
  // A NUL would leave only the part before it for the system to test.
  EXPECT_FALSE(is_game_dir(game + std::wstring(1, L'\0') + L"x"));
  EXPECT_FALSE(is_game_dir(root_.path() + std::wstring(1, L'\0') + L"/Games/GTA V"));
}

TEST_F(GameLocator, SavedFolderWinsWhileItIsStillAGameFolder) {
  const std::wstring saved = make_game(L"saved");
  const std::wstring rockstar = make_game(L"rockstar");
  set_string(os::RegistryRoot::LocalMachine, kRockstarKey, L"InstallFolder", rockstar);
  const std::wstring client = root_ / L"client";
  test::make_dirs(client);
  EXPECT_EQ(saved_game_dir(client), L"");
  EXPECT_EQ(find_game_dir(client), rockstar);

  ASSERT_TRUE(store_game_path(client, saved + L"/"));
  EXPECT_EQ(saved_game_dir(client), saved);
  EXPECT_EQ(find_game_dir(client), saved);

  test::remove_all(saved + L"/GTA5.exe");
  EXPECT_EQ(find_game_dir(client), rockstar);
}

TEST_F(GameLocator, RockstarKeyIsReadAsAPlainStringOnly) {
  const std::wstring game = make_game(L"rs");
  set_string(os::RegistryRoot::LocalMachine, kRockstarKey, L"InstallFolder", game + L"//");
  EXPECT_EQ(game_dir_from_rockstar(), game);
  set_string(os::RegistryRoot::LocalMachine, kRockstarKey, L"InstallFolder", root_.path());
  EXPECT_EQ(game_dir_from_rockstar(), L"");
  os::RegistryKey key;
  ASSERT_TRUE(key.create(os::RegistryRoot::LocalMachine, kRockstarKey));
  ASSERT_TRUE(key.set_expand_string(L"InstallFolder", game));
  EXPECT_EQ(game_dir_from_rockstar(), L"");
}

TEST_F(GameLocator, SteamTriesItsOwnFolderThenTheLibrariesInOrder) {
  EXPECT_EQ(game_dir_from_steam(), L"");
  const std::wstring steam = root_ / L"Steam";
  test::make_dirs(steam + L"/steamapps");
  // A library name with a backslash in it shows that the VDF's doubled backslashes are read once.
  const std::wstring library = make_game(L"lib\\2/steamapps/common/Grand Theft Auto V");
  const std::string vdf = "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + escaped(steam) +
                          "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + root_text() + "/nothing\"\n\t}\n"
                          "\t\"2\"\n\t{\n\t\t\"path\"\t\t\"" + root_text() + "/lib\\\\2//\"\n\t}\n}\n";
  test::write_text(steam + L"/steamapps/libraryfolders.vdf", vdf);

  set_string(os::RegistryRoot::LocalMachine, kSteamMachineKey, L"InstallPath", steam + L"/");
  EXPECT_EQ(game_dir_from_steam(), library);

  // The user's SteamPath comes first, and Steam's own folder before any library.
  const std::wstring own = make_game(L"Steam/steamapps/common/Grand Theft Auto V");
  set_string(os::RegistryRoot::CurrentUser, kSteamUserKey, L"SteamPath", root_ / L"elsewhere");
  EXPECT_EQ(game_dir_from_steam(), L"");
  set_string(os::RegistryRoot::CurrentUser, kSteamUserKey, L"SteamPath", steam);
  EXPECT_EQ(game_dir_from_steam(), own);
}

TEST_F(GameLocator, HostileLibraryListsYieldNoFolder) {
  const std::wstring steam = root_ / L"Steam";
  test::make_dirs(steam + L"/steamapps");
  set_string(os::RegistryRoot::CurrentUser, kSteamUserKey, L"SteamPath", steam);
  const std::wstring game = make_game(L"real/steamapps/common/Grand Theft Auto V");
  for (const std::string& vdf :
       {std::string("\"path\" \"") + root_text() + "/unreal",
        std::string("\"path\"\"\"\"path\"\x01\"\\"), std::string("\xFF\xFE\"pa\0th\"", 10),
        std::string("\"path\" \"") + root_text() + "/real" + std::string(1, '\0') + "x\"",
        "\"path\" \"" + root_text() + "/real\"" + std::string(kMaxScannedFileBytes, ' ')}) {
    test::write_text(steam + L"/steamapps/libraryfolders.vdf", vdf);
    EXPECT_EQ(game_dir_from_steam(), L"") << vdf.substr(0, 40);
  }
  test::write_text(steam + L"/steamapps/libraryfolders.vdf", "\"path\" \"" + root_text() + "/real\"");
  EXPECT_EQ(game_dir_from_steam(), game);
}

TEST_F(GameLocator, EpicManifestNeedsTheExactNameAndAGameFolder) {
  EXPECT_EQ(game_dir_from_epic(), L"");
  const std::wstring game = make_game(L"Epic Games/GTAV");
  write_epic(L"A.item", "grand theft auto v", game);
  write_epic(L"B.item", "Grand Theft Auto V", root_ / L"Epic Games");
  write_epic(L"C.json", "Grand Theft Auto V", game);
  write_epic(L"D.item", "Grand Theft Auto V ", game);
  EXPECT_EQ(game_dir_from_epic(), L"");

  write_epic(L"E.item", "Grand Theft Auto V", game + L"\\/");
  EXPECT_EQ(game_dir_from_epic(), game);
}

TEST_F(GameLocator, HostileEpicManifestsYieldNoFolder) {
  const std::wstring game = make_game(L"GTAV");
  test::make_dirs(epic_dir());
  test::make_dirs(epic_dir() + L"/folder.item");
  for (const std::string& text :
       {std::string("\"DisplayName\": \"Grand Theft Auto V\""),  // no location
        std::string("\"InstallLocation\": \"") + os::to_utf8(game) + "\"",  // no name
        std::string("\"DisplayName\":\"Grand Theft Auto V\",\"InstallLocation\":\"") + root_text() +
            std::string(1, '\0') + "/GTAV\"",
        std::string("\"DisplayName\":\"Grand Theft Auto V") + std::string(100, '\\'),
        std::string(3000, '"')}) {
    test::write_text(epic_dir() + L"/x.item", text);
    EXPECT_EQ(game_dir_from_epic(), L"");
  }
}

TEST_F(GameLocator, SourcesAreAskedInTheirOrder) {
  EXPECT_EQ(locate_game_dir(), L"");
  const std::wstring epic = make_game(L"epic");
  write_epic(L"gta.item", "Grand Theft Auto V", epic);
  EXPECT_EQ(locate_game_dir(), epic);
  const std::wstring steam = make_game(L"steam/steamapps/common/Grand Theft Auto V");
  set_string(os::RegistryRoot::CurrentUser, kSteamUserKey, L"SteamPath", root_ / L"steam");
  EXPECT_EQ(locate_game_dir(), steam);
  const std::wstring rockstar = make_game(L"rockstar");
  set_string(os::RegistryRoot::LocalMachine, kRockstarKey, L"InstallFolder", rockstar);
  EXPECT_EQ(locate_game_dir(), rockstar);
}

}  // namespace
}  // namespace corvane
