// The digest taken while a download arrives: a whole file hashed piece by piece as it is written, a
// ranged file read back in order as its parts complete, and every way in which the bytes on disk
// could differ from what was hashed, where the digest must not be used.
#include "net/arrival_hash.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/download_plan.h"
#include "net/download_pool.h"
#include "net_fixture.h"
#include "os/file.h"

namespace corvane {
namespace {

using test::make_entry;
using test::noise;
using test::read_text;
using test::sha256_of;
using test::TempDir;

class ArrivalHashTest : public ::testing::Test {
 protected:
  void TearDown() override { close_download_files(table_); }

  DownloadFile& plan(const std::vector<DownloadEntry>& files, bool ranges_ok) {
    close_download_files(table_);
    PlanFailure failure;
    EXPECT_TRUE(plan_downloads(files, ranges_ok, staging_.path(), table_, pool_, failure)) << failure.file;
    return table_.files.at(files.front().path);
  }

  // Writes bytes [from, to) of `content` as the pool's writer receives them for `part`, in pieces
  // of at most 256 KiB.
  void write(const DownloadPart& part, const std::string& content, std::uint64_t from, std::uint64_t to) {
    for (std::uint64_t at = from; at < to;) {
      const std::uint64_t n = std::min<std::uint64_t>(262144, to - at);
      ASSERT_TRUE(write_part_data(table_, part, at, reinterpret_cast<const std::uint8_t*>(content.data() + at),
                                  static_cast<std::size_t>(n)));
      at += n;
    }
  }
  // One ranged part of `content`, written whole, then hashed as the worker does after it.
  void land(DownloadFile& file, const std::string& key, const std::string& content, std::uint32_t offset) {
    const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPartSize, content.size() - offset));
    write(DownloadPart{key, "", static_cast<std::uint32_t>(content.size()), offset, length}, content, offset,
          std::uint64_t{offset} + length);
    hash_completed_parts(file);
  }

  TempDir staging_;
  FileTable table_;
  DownloadPool pool_;
};

TEST_F(ArrivalHashTest, WholeFileIsHashedAsWrittenAndAfreshByEveryAttempt) {
  const std::uint32_t size = 700000;
  DownloadFile& file = plan({make_entry("a.bin", size, 1), make_entry("p.bin", 9000, 2, size)}, false);
  const DownloadPart whole{"a.bin", "", size, 0, 0};
  const std::string first = noise(size, 1);
  const std::string second = noise(size, 2);

  write(whole, first, 0, size);
  EXPECT_TRUE(arrival_digest(file) == sha256_of(first));

  // A retry starts at offset 0 again: the digest follows the bytes now in the file.
  write(whole, second, 0, 300000);
  EXPECT_FALSE(arrival_digest(file).has_value()) << "an attempt cut short leaves no digest";
  write(whole, second, 300000, size);
  EXPECT_TRUE(arrival_digest(file) == sha256_of(second));

  // A piece that does not follow the one before gives the digest up for this attempt.
  write(whole, first, 0, 262144);
  write(whole, first, 2 * 262144, size);
  EXPECT_FALSE(arrival_digest(file).has_value());

  // A packed download is never hashed on arrival: its unpacked content is what counts.
  const std::string packed = noise(size, 3);
  write(DownloadPart{"p.bin", "", size, 0, 0}, packed, 0, size);
  EXPECT_FALSE(arrival_digest(table_.files.at("p.bin")).has_value());
  EXPECT_FALSE(table_.files.at("p.bin").arrival.begun);
}

TEST_F(ArrivalHashTest, RangedFileIsReadBackInOrderAsItsPartsComplete) {
  const std::uint32_t size = 2 * kPartSize + 12345;  // three parts, the last one short
  DownloadFile& file = plan({make_entry("r.bin", size, 4)}, true);
  const std::string content = noise(size, 4);

  land(file, "r.bin", content, kPartSize);  // the middle part first: nothing in order yet
  EXPECT_EQ(file.arrival.hashed, 0u);
  land(file, "r.bin", content, 0);          // now the first two follow each other
  EXPECT_EQ(file.arrival.hashed, 2u * kPartSize);
  EXPECT_FALSE(arrival_digest(file).has_value());
  land(file, "r.bin", content, 2 * kPartSize);
  EXPECT_TRUE(arrival_digest(file) == sha256_of(content));

  // A complete part written again (a retry after its last byte had landed) may now hold other
  // bytes than were hashed: the digest is no longer used.
  write(DownloadPart{"r.bin", "", size, kPartSize, kPartSize}, noise(size, 5), kPartSize, kPartSize + 4096);
  EXPECT_FALSE(arrival_digest(file).has_value());
}

TEST_F(ArrivalHashTest, ResumedPartsAreReadBackFromDiskAndHashedWithTheNewOnes) {
  const std::uint32_t size = 3 * kPartSize;
  const DownloadEntry entry = make_entry("r.bin", size, 6);
  const std::string content = noise(size, 6);
  {
    DownloadFile& file = plan({entry}, true);
    land(file, "r.bin", content, 0);
    land(file, "r.bin", content, 2 * kPartSize);
    close_download_files(table_);
  }
  // A byte of the earlier run's first part is not what the server sent.
  std::string on_disk = read_text(table_.files.at("r.bin").data_path);
  on_disk[1000] = static_cast<char>(on_disk[1000] ^ 0x5A);
  {
    os::File spoil;
    ASSERT_EQ(spoil.open(table_.files.at("r.bin").data_path, os::OpenMode::ReadWriteAlways), os::kErrorSuccess);
    ASSERT_EQ(spoil.write_at(1000, &on_disk[1000], 1), os::kErrorSuccess);
  }

  DownloadFile& file = plan({entry}, true);
  ASSERT_EQ(pool_.parts.size(), 1u);  // only the middle part is fetched again
  land(file, "r.bin", content, kPartSize);
  ASSERT_TRUE(arrival_digest(file).has_value());
  const std::string now = on_disk.substr(0, kPartSize) + content.substr(kPartSize, kPartSize) +
                          on_disk.substr(2 * kPartSize);
  EXPECT_TRUE(*arrival_digest(file) == sha256_of(now));
  EXPECT_TRUE(*arrival_digest(file) != sha256_of(content));
}

}  // namespace
}  // namespace corvane
