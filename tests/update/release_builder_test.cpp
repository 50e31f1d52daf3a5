#include "release_builder/release.h"

#include <gtest/gtest.h>

#include <algorithm>

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

constexpr const char* kNoCompressor = "the system has no LZMS compressor (Wine lacks the Compression API)";

TEST(ReleaseBuilder, PublishedFilesVerifyAgainstTheirEntries) {
  if (!lzms_packing_available()) GTEST_SKIP() << kNoCompressor;
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
  options.block_size = kLzmsMinBlockSize;  // Corvane.exe takes two chunks
  std::vector<ManifestFile> files;
  std::string error;
  ASSERT_TRUE(build_release(options, files, error)) << error;
  ASSERT_EQ(files.size(), 5u);
  EXPECT_EQ(test::read_text(out + L"/manifest.json"), manifest_text("2.0.1", "2024-05-01", files));

  // Every file, unpacked or packed, is the content its entry promises. The empty file matched a
  // pattern but is published plain.
  for (const ManifestFile& entry : files) {
    SCOPED_TRACE(entry.path);
    const bool packed = entry.path != "bin/uninstall.exe" && entry.path != "data/ngtables/empty.bin";
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
  EXPECT_FALSE(os::file_info(out + L"/files/data/ngtables/empty.bin.lzms"));
}

// The stored size of each chunk of `frame` after its header, read here on its own: what a reader
// on Windows meets after the header.
std::vector<std::uint32_t> chunk_records(const std::string& frame) {
  std::vector<std::uint32_t> sizes;
  std::size_t pos = kLzmsHeaderSize;
  while (pos + 4 <= frame.size()) {
    std::uint32_t stored = 0;
    for (int i = 3; i >= 0; --i) stored = (stored << 8) | static_cast<unsigned char>(frame[pos + static_cast<std::size_t>(i)]);
    sizes.push_back(stored);
    pos += 4 + stored;
  }
  if (pos != frame.size()) sizes.push_back(0xFFFFFFFF);  // a record that runs past the end or a stray tail
  return sizes;
}

std::uint64_t field_at(const std::string& frame, std::size_t offset) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(frame[offset + static_cast<std::size_t>(i)]);
  return value;
}

// The frames the builder publishes have the layout Windows writes: a file smaller than one block,
// one of exactly one block and one of several blocks, each with the header Windows would write for
// it and one chunk record per block; content LZMS cannot shrink is stored raw, so that file is byte
// for byte the one Windows made of the same content.
TEST(ReleaseBuilder, PackedFramesHaveTheLayoutWindowsWrites) {
  if (!lzms_packing_available()) GTEST_SKIP() << kNoCompressor;
  const std::wstring samples = join_path(test::build_tree_path(CORVANE_TEST_DATA_DIR), L"windows_lzms");
  const std::string english = test::read_text(join_path(samples, L"english.raw"));
  const std::string random = test::read_text(join_path(samples, L"random.raw"));
  constexpr std::size_t kBlock = kLzmsMinBlockSize;
  TempDir source;
  TempDir work;
  put(source, L"bin/small.dll", english);
  put(source, L"bin/one.dll", text(kBlock));
  put(source, L"bin/several.dll", text(3 * kBlock + 5));
  put(source, L"bin/random.dll", random);
  ReleaseOptions options;
  options.source = source.path();
  options.out = work / L"release";
  options.pack_globs = {"bin/*"};
  options.block_size = kBlock;
  std::vector<ManifestFile> files;
  std::string error;
  ASSERT_TRUE(build_release(options, files, error)) << error;

  struct Expected {
    const char* path;
    std::uint64_t block_field;
    std::size_t chunks;
  };
  for (const Expected& e : {Expected{"bin/small.dll", english.size(), 1}, Expected{"bin/one.dll", kBlock, 1},
                            Expected{"bin/several.dll", kBlock, 4}, Expected{"bin/random.dll", random.size(), 1}}) {
    SCOPED_TRACE(e.path);
    const auto entry = std::find_if(files.begin(), files.end(), [&](const ManifestFile& f) { return f.path == e.path; });
    ASSERT_NE(entry, files.end());
    const std::string frame = test::read_text(options.out + L"/files/" + os::from_utf8(e.path) + L".lzms");
    ASSERT_EQ(frame.size(), entry->packed_size);
    ASSERT_GE(frame.size(), kLzmsHeaderSize);
    const auto header = lzms_frame_header(entry->size, e.block_field);
    EXPECT_EQ(frame.substr(0, kLzmsHeaderSize), std::string(header.begin(), header.end()));
    EXPECT_EQ(static_cast<unsigned char>(frame[7]), 5);
    EXPECT_EQ(field_at(frame, 8), entry->size);
    EXPECT_EQ(field_at(frame, 16), e.block_field);
    const std::vector<std::uint32_t> records = chunk_records(frame);
    ASSERT_EQ(records.size(), e.chunks);
    std::uint64_t left = entry->size;
    for (const std::uint32_t stored : records) {
      const std::uint64_t content = std::min<std::uint64_t>(left, kBlock);
      // Raw, or LZMS data in whole 16-bit units that is smaller than its block.
      EXPECT_TRUE(stored == content || (stored < content && stored % 2 == 0 && stored >= 4)) << stored;
      left -= content;
    }
    EXPECT_EQ(left, 0u);
  }
  const std::string windows_random = test::read_text(join_path(samples, L"random.lzms"));
  EXPECT_TRUE(test::read_text(options.out + L"/files/bin/random.dll.lzms") == windows_random);
}

TEST(ReleaseBuilder, RefusesBlockSizesOutsideTheRangeWindowsAccepts) {
  TempDir source;
  TempDir work;
  put(source, L"Corvane.exe", text(3000));
  int attempt = 0;
  const auto build = [&](std::uint64_t block_size, std::string& error) {
    ReleaseOptions options;
    options.source = source.path();
    options.out = work / (L"r" + std::to_wstring(attempt++));
    options.block_size = block_size;
    std::vector<ManifestFile> files;
    const bool built = build_release(options, files, error);
    EXPECT_EQ(built, os::file_info(options.out + L"/manifest.json").has_value());
    return built;
  };
  for (const std::uint64_t bad : {std::uint64_t{0}, std::uint64_t{4096}, kLzmsMinBlockSize - 1, kLzmsMaxBlockSize + 1}) {
    SCOPED_TRACE(bad);
    std::string error;
    EXPECT_FALSE(build(bad, error));
    EXPECT_NE(error.find("block size " + std::to_string(bad) + " is outside"), std::string::npos) << error;
    EXPECT_NE(error.find("65536 .. 67108864"), std::string::npos) << error;
    std::string frame;
    EXPECT_FALSE(pack_lzms(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("abcdef"), 6), bad, frame));
  }
  for (const std::uint64_t good : {kLzmsMinBlockSize, kLzmsMaxBlockSize}) {
    std::string error;
    EXPECT_TRUE(build(good, error)) << good << ": " << error;
  }
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
