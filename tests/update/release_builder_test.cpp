#include "release_builder/release.h"

#include <gtest/gtest.h>

#include "base/paths.h"
#include "os/fs.h"
#include "os/text.h"
#include "release_builder/lzms_pack.h"
#include "support/temp_dir.h"
#include "update/lzms_frame.h"
#include "update/verification.h"

namespace corvane::tools {
namespace {

using test::TempDir;

void put(const TempDir& dir, const std::wstring& relative, const std::string& content) {
  const std::wstring path = dir / relative;
  test::make_dirs(parent_dir(path));
  test::write_text(path, content);
}

std::string text(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = "release builder "[(i * 3 + i / 211) % 16];
  return s;
}

TEST(ReleaseBuilder, PathsAndPatterns) {
  EXPECT_EQ(manifest_path_for("uninstall.exe"), "bin/uninstall.exe");
  EXPECT_EQ(manifest_path_for("Corvane.exe"), "Corvane.exe");
  EXPECT_EQ(manifest_path_for("launcher.json"), "");
  EXPECT_EQ(manifest_path_for("data/other.bin"), "");

  EXPECT_TRUE(glob_match("*.dll", "bin/sub/x.dll"));
  EXPECT_TRUE(glob_match("bin/?.dll", "bin/x.dll"));
  EXPECT_TRUE(glob_match("data/*/*.bin", "data/ngtables/t/a.bin"));
  EXPECT_FALSE(glob_match("bin/?.dll", "bin/xy.dll"));
  EXPECT_FALSE(glob_match("*.dll", "bin/x.dll.bak"));
}

TEST(ReleaseBuilder, ManifestTextEscapesWhatJsonNeeds) {
  const std::string manifest = manifest_text("1.2 \"beta\"", "", {ManifestFile{"bin/\xC3\xA9\x01.dll", std::string(64, 'a'), 7, 0}});
  EXPECT_NE(manifest.find("\"format\": 1"), std::string::npos);
  EXPECT_NE(manifest.find("\"version\": \"1.2 \\\"beta\\\"\""), std::string::npos);
  EXPECT_NE(manifest.find("\"path\": \"bin/\xC3\xA9\\u0001.dll\""), std::string::npos);
  EXPECT_NE(manifest.find("\"size\": 7, \"packed_size\": 0}"), std::string::npos);
}

TEST(ReleaseBuilder, PublishedFilesVerifyAgainstTheirEntries) {
  if (!lzms_packing_available()) GTEST_SKIP() << "this build has no LZMS encoder (packed releases are built on Linux)";
  if (!lzms_decoding_available()) GTEST_SKIP() << "the system has no LZMS decompressor (Wine lacks the Compression API)";
  TempDir source;
  TempDir work;
  const std::wstring out = work / L"release";
  put(source, L"Corvane.exe", text(70000));
  put(source, L"uninstall.exe", "uninstaller");
  put(source, L"bin/sub/x.dll", text(5000));
  put(source, L"bin/a b+c.dll", text(3));
  put(source, L"data/ngtables/empty.bin", "");
  ReleaseOptions options;
  options.source = source.path();
  options.out = out;
  options.version = "2.0.1";
  options.date = "2024-05-01";
  options.pack_globs = {"*.dll", "data/*", "Corvane.exe"};
  options.block_size = 16384;
  std::vector<ManifestFile> files;
  std::string error;
  ASSERT_TRUE(build_release(options, files, error)) << error;
  ASSERT_EQ(files.size(), 5u);
  EXPECT_EQ(test::read_text(out + L"/manifest.json"), manifest_text("2.0.1", "2024-05-01", files));

  // Every file, unpacked or packed, is the content its entry promises.
  for (const ManifestFile& entry : files) {
    SCOPED_TRACE(entry.path);
    const bool packed = entry.path != "bin/uninstall.exe";
    EXPECT_EQ(entry.packed_size != 0, packed);
    const std::wstring published = out + L"/files/" + os::from_utf8(entry.path) + (packed ? L".lzms" : L"");
    const auto info = os::file_info(published);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->size, packed ? entry.packed_size : entry.size);
    DownloadFile file;
    file.packed = packed;
    file.data_path = published;
    file.raw_path = packed ? work / L"content.raw" : published;
    file.size = packed ? entry.packed_size : entry.size;
    EXPECT_TRUE(verify_download(file, entry));
  }
  EXPECT_EQ(files[0].path, "Corvane.exe");
  EXPECT_LT(files[0].packed_size, files[0].size / 2);
}

TEST(ReleaseBuilder, RefusesWhatTheClientCannotReceive) {
  TempDir work;
  const auto attempt = [&](const std::vector<std::pair<std::wstring, std::string>>& layout,
                           const std::wstring& out) {
    TempDir source;
    for (const auto& [path, content] : layout) put(source, path, content);
    ReleaseOptions options;
    options.source = source.path();
    options.out = out;
    std::vector<ManifestFile> files;
    std::string error;
    EXPECT_FALSE(build_release(options, files, error));
    return error;
  };
  EXPECT_NE(attempt({{L"Corvane.exe", "x"}, {L"launcher.json", "{}"}}, work / L"a").find("launcher.json"),
            std::string::npos);
  EXPECT_NE(attempt({{L"uninstall.exe", "x"}, {L"bin/uninstall.exe", "y"}}, work / L"b").find("bin/uninstall.exe"),
            std::string::npos);
  EXPECT_FALSE(os::file_info(work / L"a/manifest.json"));
  put(work, L"full/keep.txt", "mine");
  EXPECT_NE(attempt({{L"Corvane.exe", "x"}}, work / L"full").find("not empty"), std::string::npos);
  EXPECT_EQ(test::read_text(work / L"full/keep.txt"), "mine");
}

}  // namespace
}  // namespace corvane::tools
