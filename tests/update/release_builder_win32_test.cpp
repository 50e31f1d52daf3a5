// The release builder of the Windows build packs with the system's compressor. Where the system has
// none (Wine lacks the Compression API), it refuses to pack, saying why, rather than publish files
// unpacked that were asked to be packed.
#include <gtest/gtest.h>

#include "os/fs.h"
#include "release_builder/lzms_pack.h"
#include "release_builder/release.h"
#include "support/temp_dir.h"

namespace corvane::tools {
namespace {

using test::TempDir;

TEST(ReleaseBuilder, WithoutTheSystemCompressorPackingIsRefusedAndNothingPublished) {
  if (lzms_packing_available()) GTEST_SKIP() << "this system has the Compression API's LZMS compressor";
  TempDir source;
  TempDir work;
  test::write_text(source / L"Corvane.exe", std::string(7000, 'x'));
  ReleaseOptions options;
  options.source = source.path();
  options.out = work / L"release";
  options.pack_globs = {"Corvane.exe"};
  std::vector<ManifestFile> files;
  std::string error;
  EXPECT_FALSE(build_release(options, files, error));
  EXPECT_NE(error.find("cannot pack"), std::string::npos) << error;
  EXPECT_NE(error.find("Compression API"), std::string::npos) << error;
  EXPECT_FALSE(os::file_info(work / L"release/manifest.json"));
  std::string frame;
  const std::uint8_t content[] = {1, 2, 3, 4, 5};
  EXPECT_FALSE(pack_lzms(content, 1 << 20, frame));
  options.pack_globs.clear();
  EXPECT_TRUE(build_release(options, files, error)) << error;
}

TEST(ReleaseBuilder, AnOutputFolderWrittenWithForwardSlashesIsMadeWithItsParents) {
  TempDir source;
  TempDir work;
  test::write_text(source / L"Corvane.exe", "client");
  ReleaseOptions options;
  options.source = source.path();
  options.out = work.path() + L"/made/on/demand/release";
  std::vector<ManifestFile> files;
  std::string error;
  ASSERT_TRUE(build_release(options, files, error)) << error;
  EXPECT_TRUE(os::file_info(work.path() + L"\\made\\on\\demand\\release\\manifest.json"));
}

}  // namespace
}  // namespace corvane::tools
