// The release builder of the Windows build: it has no LZMS encoder, so it refuses to pack rather
// than publish files unpacked that were asked to be packed.
#include <gtest/gtest.h>

#include "os/fs.h"
#include "release_builder/lzms_pack.h"
#include "release_builder/release.h"
#include "support/temp_dir.h"

namespace corvane::tools {
namespace {

using test::TempDir;

TEST(ReleaseBuilder, ABuildWithoutAnEncoderRefusesToPackAndPublishesNothing) {
  ASSERT_FALSE(lzms_packing_available());
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
  EXPECT_FALSE(os::file_info(work / L"release/manifest.json"));
  options.pack_globs.clear();
  EXPECT_TRUE(build_release(options, files, error)) << error;
}

}  // namespace
}  // namespace corvane::tools
