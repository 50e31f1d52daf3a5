#include "net_fixture.h"

#include "base/paths.h"
#include "os/text.h"

namespace corvane::test {

os::Sha256Digest sha256_of(const std::string& bytes) {
  os::Sha256 hash;
  os::Sha256Digest digest{};
  EXPECT_TRUE(hash.begin() && hash.update(bytes.data(), bytes.size()) && hash.finish(digest));
  return digest;
}

DownloadEntry make_entry(const std::string& path, std::uint32_t size, std::uint32_t seed,
                         std::uint32_t packed_size) {
  static const char* hex = "0123456789abcdef";
  std::string sha(64, '0');
  for (std::size_t i = 0; i < 8; ++i) sha[56 + i] = hex[(seed >> (28 - 4 * i)) & 15];
  // The paths here need no percent-encoding: the server has the file where the manifest would put it.
  return DownloadEntry{path, "files/" + path + (packed_size != 0 ? ".lzms" : ""), sha, size, packed_size};
}

void CdnTest::SetUp() {
  make_dirs(root_ / L"release/files");
  ASSERT_TRUE(server_.start(root_.utf8()));
  ASSERT_TRUE(split_url(server_.base_url() + "release/", url_));
}

void CdnTest::TearDown() { server_.stop(); }

void CdnTest::publish(const DownloadEntry& entry, const std::string& bytes) {
  publish_raw(entry.url_path, bytes);
}

void CdnTest::publish_raw(const std::string& relative, const std::string& bytes) {
  const std::wstring path = root_ / (L"release/" + os::from_utf8(relative));
  make_dirs(parent_dir(path));
  write_text(path, bytes);
}

}  // namespace corvane::test
