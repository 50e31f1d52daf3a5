#pragma once
// The small client release that the install tests serve: Corvane.exe (packed where this build can
// pack: under Wine the Windows build has no LZMS compressor), bin/core.dll and the release's own
// uninstaller, as version 3.1.0 of 2024-07-01.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "release_builder/lzms_pack.h"
#include "release_builder/release.h"
#include "support/temp_dir.h"
#include "support/test_signing.h"

namespace corvane::test {

// Writes the client's files below `root`/source and builds the channel "release" into
// `root`/cdn/release. Call through ASSERT_NO_FATAL_FAILURE.
inline void build_client_release(const TempDir& root, const std::string& corvane_exe) {
  const std::wstring source = root / L"source";
  make_dirs(source + L"/bin");
  write_text(source + L"/Corvane.exe", corvane_exe);
  write_text(source + L"/bin/core.dll", "core");
  write_text(source + L"/uninstall.exe", "the release's uninstaller");
  tools::ReleaseOptions options;
  options.source = source;
  options.out = root / L"cdn/release";
  options.version = "3.1.0";
  options.date = "2024-07-01";
  if (tools::lzms_packing_available()) options.pack_globs = {"Corvane.exe"};
  options.signing = channel_signing();
  std::vector<ManifestFile> files;
  std::string problem;
  ASSERT_TRUE(tools::build_release(options, files, problem)) << problem;
}

}  // namespace corvane::test
