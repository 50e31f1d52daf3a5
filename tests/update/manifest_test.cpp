#include "update/manifest.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

const std::string kHash(64, 'a');

std::string file_object(std::string_view path, std::string_view extra = "") {
  return R"({"path":")" + std::string(path) + R"(","sha256":")" + kHash + R"(","size":10)" +
         std::string(extra) + "}";
}

std::string manifest_with(std::string_view files, std::string_view extra = "") {
  return R"({"format":1,"version":"1.2.3","files":[)" + std::string(files) + "]" +
         std::string(extra) + "}";
}

bool parses(std::string_view text) {
  Manifest manifest;
  return parse_manifest(text, manifest);
}

TEST(Manifest, AChunkIndexIsNamedOnlyByAValidHashAndANonZeroSize) {
  const std::string hash = std::string(64, 'b');
  const struct {
    std::string members;
    bool named;
  } cases[] = {
      {R"(,"chunks_sha256":")" + hash + R"(","chunks_size":28)", true},
      {R"(,"chunks_size":28,"chunks_sha256":")" + hash + R"(")", true},
      {R"(,"chunks_sha256":")" + hash + R"(")", false},                        // no size
      {R"(,"chunks_sha256":")" + hash + R"(","chunks_size":0)", false},
      {R"(,"chunks_sha256":"B)" + hash.substr(1) + R"(","chunks_size":28)", false},  // upper case
      {R"(,"chunks_size":28)", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.members);
    Manifest manifest;
    ASSERT_TRUE(parse_manifest(manifest_with(file_object("bin/a.dll", c.members)), manifest));
    EXPECT_EQ(manifest.files[0].chunks_size != 0, c.named);
    EXPECT_EQ(!manifest.files[0].chunks_sha256.empty(), c.named);
  }
}

TEST(Manifest, ReadsAValidManifestInAnyMemberOrder) {
  const std::string text = "\n{ \"files\" : [\n"
                           "  {\"size\": 5, \"sha256\": \"" + kHash + "\", \"path\": \"Corvane.exe\"},\n"
                           "  {\"path\":\"bin/a.dll\",\"packed_size\":3,\"sha256\":\"" + std::string(64, '0') +
                           "\",\"size\":4294967295}\n"
                           "], \"date\": \"2024-05-01\", \"version\": \"2.0\", \"format\": 1 }\n\t";
  Manifest manifest;
  ASSERT_TRUE(parse_manifest(text, manifest));
  EXPECT_EQ(manifest.version, "2.0");
  EXPECT_EQ(manifest.date, "2024-05-01");
  ASSERT_EQ(manifest.files.size(), 2u);
  EXPECT_EQ(manifest.files[0].path, "Corvane.exe");
  EXPECT_EQ(manifest.files[0].sha256, kHash);
  EXPECT_EQ(manifest.files[0].size, 5u);
  EXPECT_EQ(manifest.files[0].packed_size, 0u);
  EXPECT_EQ(manifest.files[1].path, "bin/a.dll");
  EXPECT_EQ(manifest.files[1].size, 4294967295u);
  EXPECT_EQ(manifest.files[1].packed_size, 3u);

  Manifest with_bom;
  ASSERT_TRUE(parse_manifest("\xEF\xBB\xBF" + text, with_bom));
  EXPECT_EQ(with_bom.files.size(), 2u);
  EXPECT_EQ(with_bom.version, "2.0");
}

TEST(Manifest, TopLevelRulesRejectTheWholeManifest) {
  const std::string file = file_object("bin/x.dll");
  const std::string list = "[" + file + "]";
  EXPECT_TRUE(parses(manifest_with(file)));
  for (const std::string& bad : {
           R"({"format":2,"version":"1","files":)" + list + "}",
           R"({"version":"1","files":)" + list + "}",
           R"({"format":"1","version":"1","files":)" + list + "}",
           R"({"format":1,"version":"","files":)" + list + "}",
           R"({"format":1,"version":1,"files":)" + list + "}",
           R"({"format":1,"files":)" + list + "}",
           std::string(R"({"format":1,"version":"1"})"),
           manifest_with(""),  // no file listed
           std::string(R"({"format":1,"version":"1","files":{}})"),
           manifest_with(file) + "{}",
           manifest_with(file) + " x",
           manifest_with(file, ","),  // trailing comma in the object
           manifest_with(file + ","),  // trailing comma in the list
           "[" + manifest_with(file) + "]",
           manifest_with(file).substr(0, 40),
           std::string("{}"),
           std::string()}) {
    EXPECT_FALSE(parses(bad)) << bad;
  }
}

TEST(Manifest, RepeatedMembersTakeTheLastValueAndFilesAppend) {
  Manifest manifest;
  const std::string text = R"({"format":7,"format":1,"version":"a","version":"b","files":[)" +
                           file_object("bin/1") + R"(],"files":[)" + file_object("bin/2") + "]}";
  ASSERT_TRUE(parse_manifest(text, manifest));
  EXPECT_EQ(manifest.version, "b");
  ASSERT_EQ(manifest.files.size(), 2u);
  EXPECT_EQ(manifest.files[0].path, "bin/1");
  EXPECT_EQ(manifest.files[1].path, "bin/2");
}

TEST(Manifest, UnknownMembersAreSkippedAtEveryLevel) {
  const std::string nested = R"({"a":[1,{"b":[true,null,"x\u00e9"]}],"c":{}})";
  Manifest manifest;
  ASSERT_TRUE(parse_manifest(R"({"extra":)" + nested + R"(,"format":1,"version":"1","files":[)" +
                                 file_object("bin/x", R"(,"meta":)" + nested) + "]}",
                             manifest));
  EXPECT_EQ(manifest.files.size(), 1u);
  // A skipped value still obeys the grammar and the nesting limit.
  EXPECT_FALSE(parses(manifest_with(file_object("bin/x"), R"(,"extra":[1,])")));
  const std::string deep = std::string(33, '[') + "0" + std::string(33, ']');
  const std::string shallow = std::string(32, '[') + "0" + std::string(32, ']');
  EXPECT_FALSE(parses(manifest_with(file_object("bin/x"), ",\"extra\":" + deep)));
  EXPECT_TRUE(parses(manifest_with(file_object("bin/x"), ",\"extra\":" + shallow)));
}

TEST(Manifest, FileObjectsAreCheckedOneByOne) {
  const std::string good = file_object("bin/ok");
  auto with_bad = [&](const std::string& bad) { return parses(manifest_with(good + "," + bad)); };
  EXPECT_TRUE(with_bad(file_object("data/ngtables/a.bin")));
  EXPECT_FALSE(with_bad(R"({"sha256":")" + kHash + R"(","size":1})"));            // no path
  EXPECT_FALSE(with_bad(R"({"path":"bin/y","size":1})"));                         // no sha256
  EXPECT_FALSE(with_bad(R"({"path":"bin/y","sha256":")" + kHash + "\"}"));        // no size
  EXPECT_FALSE(with_bad("{}"));
  EXPECT_FALSE(with_bad(file_object("bin/y", R"(,"size":4294967296)")));
  EXPECT_FALSE(with_bad(file_object("bin/y", R"(,"packed_size":4294967296)")));
  EXPECT_TRUE(with_bad(file_object("bin/y", R"(,"packed_size":4294967295)")));
  EXPECT_FALSE(with_bad(file_object("bin/y", R"(,"size":"10")")));
  EXPECT_FALSE(with_bad(file_object("bin/y", R"(,"size":-1)")));
  EXPECT_FALSE(with_bad(file_object("bin/y", R"(,"size":1.5)")));
  EXPECT_FALSE(with_bad(file_object("bin/y", R"(,"size":10000000000000000000)")));  // 20 digits
  EXPECT_FALSE(with_bad(R"({"path":"bin/y","sha256":")" + std::string(64, 'A') + R"(","size":1})"));
  EXPECT_FALSE(with_bad(R"({"path":"bin/y","sha256":")" + std::string(63, 'a') + R"(","size":1})"));
  EXPECT_FALSE(with_bad(R"({"path":"bin/y","sha256":")" + std::string(65, 'a') + R"(","size":1})"));
  EXPECT_FALSE(with_bad(file_object("config.json")));
  EXPECT_FALSE(with_bad(file_object("bin/y", ",")));
  EXPECT_FALSE(with_bad("[]"));
}

TEST(ManifestPaths, AllowedLocations) {
  for (const char* path : {"Corvane.exe", "bin/x.dll", "data/ngtables/a.bin", "bin/a b+c.dll", "bin/.x",
                           "bin/x.crvnold.dll", "bin/.crvnold", "bin/\xC3\xA9", "bin/\x7F"}) {
    EXPECT_TRUE(is_allowed_path(path)) << path;
  }
  for (const char* path : {"", "bin/", "data/ngtables/", "data/x", "BIN/x.dll", "corvane.exe",
                           "/bin/x.dll", "bin/../x", "bin/a..b", "bin\\x.dll", "config.json",
                           "bin/a:b", "bin/a*", "bin/a?", "bin/a\"", "bin/a<", "bin/a>", "bin/a|",
                           "Corvane.exe/", "./bin/x"}) {
    EXPECT_FALSE(is_allowed_path(path)) << path;
  }
  // Other spellings of a place ("bin/x" for all of these but the last two) and backup names.
  for (const char* path : {"bin//x", "bin/x/", "bin/./x", "bin/.", "bin/x/.", "data/ngtables//a",
                           "data//ngtables/a", "bin/x.", "bin/x ", "bin/sub./x", "bin/x.crvnold",
                           "bin/X.DLL.CrvNold", "bin/a.crvnold/x"}) {
    EXPECT_FALSE(is_allowed_path(path)) << path;
  }
  // A NUL byte would cut the name at the system call ("bin/" is the folder itself); Windows takes
  // no other control character in a name either.
  EXPECT_FALSE(is_allowed_path(std::string("bin/\0x", 6)));
  EXPECT_FALSE(is_allowed_path(std::string("Corvane.exe\0", 12)));
  for (const char* path : {"bin/\x01", "bin/a\tb", "bin/x\n", "bin/\x1F.dll", "data/ngtables/\r/a"}) {
    EXPECT_FALSE(is_allowed_path(path)) << path;
  }
}

TEST(ManifestPaths, NamesThatWindowsOpensAsDevicesAreRefusedInEveryFolder) {
  // The bare names, in any letter case, with an extension, with spaces before it, as a folder.
  for (const char* path : {"bin/CON", "bin/con", "bin/Prn", "bin/aux.dll", "bin/NUL.tar.gz", "bin/nul .txt",
                           "bin/COM0", "bin/com9.dll", "bin/LPT1", "bin/lpt5.x", "bin/CONIN$", "bin/conout$.log",
                           "bin/COM\xC2\xB9", "bin/lpt\xC2\xB2.dll", "bin/Com\xC2\xB3 .x",
                           "bin/con/x.dll", "data/ngtables/AUX.d/t.bin", "bin/a/LPT9/b"}) {
    EXPECT_FALSE(is_allowed_path(path)) << path;
  }
  // Names that only begin or end like one, other numbers and other superscripts are files.
  for (const char* path : {"bin/CONx", "bin/xCON", "bin/.con", "bin/CON_1.dll", "bin/COM10", "bin/COM",
                           "bin/LPT", "bin/COMa", "bin/nul-2.txt", "bin/auxiliary.dll", "bin/CONIN",
                           "bin/conout$x", "bin/COM\xC2\xB4", "bin/LPT\xE2\x81\xB4",
                           "data/ngtables/prn1/x"}) {
    EXPECT_TRUE(is_allowed_path(path)) << path;
  }
}

TEST(ManifestPaths, DownloadPathsArePercentEncoded) {
  ManifestFile file;
  file.path = "bin/a b+c.dll";
  EXPECT_EQ(file_url_path(file), "files/bin/a%20b%2Bc.dll");
  file.packed_size = 1;
  EXPECT_EQ(file_url_path(file), "files/bin/a%20b%2Bc.dll.lzms");
  EXPECT_EQ(percent_encode_path("bin/\xC3\xA9.txt"), "bin/%C3%A9.txt");
  EXPECT_EQ(percent_encode_path("bin/\xF0\x9F\x98\x80"), "bin/%F0%9F%98%80");
  EXPECT_EQ(percent_encode_path("Az09-._~/%#\x7F"), "Az09-._~/%25%23%7F");
}

}  // namespace
}  // namespace corvane
