#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "net/url.h"
#include "os/sha256.h"
#include "support/temp_dir.h"
#include "support/test_content.h"
#include "test_cdn.h"
#include "net/download_plan.h"

// A release folder in a temporary directory served by an in-process test CDN, and the manifest
// entries and contents the transfer tests download.
namespace corvane::test {

// The SHA-256 of `bytes`.
os::Sha256Digest sha256_of(const std::string& bytes);

// A file to download with a made-up but well-formed sha256 derived from `seed`, served from
// files/<path>[.lzms].
DownloadEntry make_entry(const std::string& path, std::uint32_t size, std::uint32_t seed,
                         std::uint32_t packed_size = 0);

class CdnTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the file under release/ as the CDN serves it for `entry` (files/<path>[.lzms]).
  void publish(const DownloadEntry& entry, const std::string& bytes);
  // Writes release/<relative>.
  void publish_raw(const std::string& relative, const std::string& bytes);
  // The request path the server sees for a path relative to the channel ("/release/files/a").
  static std::string server_path(const std::string& relative) { return "/release/" + relative; }
  // A folder for staging files.
  std::wstring staging() const { return staging_dir_.path(); }

  TempDir root_;
  TempDir staging_dir_;
  test_cdn::Server server_;
  UrlParts url_;
};

}  // namespace corvane::test
