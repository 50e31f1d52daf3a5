#include "net/download_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "net/download_pool.h"
#include "net/resume.h"
#include "net_fixture.h"
#include "os/fs.h"
#include "os/text.h"

namespace corvane {
namespace {

using test::make_entry;

// (file_key, offset, length) of every queued part, in queue order.
std::vector<std::tuple<std::string, std::uint32_t, std::uint32_t>> queue_of(const DownloadPool& pool) {
  std::vector<std::tuple<std::string, std::uint32_t, std::uint32_t>> out;
  for (const DownloadPart& p : pool.parts) out.emplace_back(p.file_key, p.offset, p.length);
  return out;
}

class PlanTest : public ::testing::Test {
 protected:
  bool plan(const std::vector<DownloadEntry>& files, bool ranges_ok) {
    close_download_files(table_);
    return plan_downloads(files, ranges_ok, staging_.path(), table_, pool_, failure_);
  }
  void TearDown() override { close_download_files(table_); }

  test::TempDir staging_;
  FileTable table_;
  DownloadPool pool_;
  PlanFailure failure_;
};

TEST_F(PlanTest, LargeFilesGoInEightMebibyteRangesOnlyWhenRangesAreAllowed) {
  const DownloadEntry big = make_entry("bin/big.dll", 20971520, 1);
  const DownloadEntry edge = make_entry("bin/edge.dll", 16777215, 2);
  ASSERT_TRUE(plan({big, edge}, true));
  using Q = std::vector<std::tuple<std::string, std::uint32_t, std::uint32_t>>;
  EXPECT_EQ(queue_of(pool_), (Q{{"bin/edge.dll", 0, 0},
                                {"bin/big.dll", 0, 8388608},
                                {"bin/big.dll", 8388608, 8388608},
                                {"bin/big.dll", 16777216, 4194304}}));
  const DownloadFile& file = table_.files.at("bin/big.dll");
  EXPECT_EQ(file.part_size, 8388608u);
  EXPECT_EQ(file.part_count, 3u);
  EXPECT_EQ(table_.files.at("bin/edge.dll").part_count, 1u);
  EXPECT_EQ(pool_.parts[1].url_path, "files/bin/big.dll");
  EXPECT_EQ(pool_.parts[1].file_size, 20971520u);
  EXPECT_EQ(table_.bytes_total, 20971520u + 16777215u);

  ASSERT_TRUE(plan({big, edge}, false));
  EXPECT_EQ(queue_of(pool_), (Q{{"bin/big.dll", 0, 0}, {"bin/edge.dll", 0, 0}}));
  EXPECT_EQ(table_.files.at("bin/big.dll").part_count, 1u);
}

TEST_F(PlanTest, PathsSizesDeduplicationEmptyFilesAndStableOrder) {
  const DownloadEntry packed = make_entry("bin/packed.dll", 50000000, 3, 4194304);
  const DownloadEntry small_a = make_entry("bin/a.dll", 1000, 4);
  const DownloadEntry copy_of_a = make_entry("bin/a_copy.dll", 1000, 4);
  const DownloadEntry empty = make_entry("bin/empty.dll", 0, 5);
  const DownloadEntry small_b = make_entry("bin/b.dll", 1000, 6);
  const DownloadEntry big = make_entry("bin/big.dll", 20971520, 7);
  ASSERT_TRUE(plan({small_a, packed, copy_of_a, empty, small_b, big}, true));

  const std::wstring stem = staging_ / os::from_utf8(packed.sha256);
  const DownloadFile& p = table_.files.at("bin/packed.dll");
  EXPECT_TRUE(p.packed);
  EXPECT_EQ(p.size, 4194304u);  // the packed size is what is downloaded
  EXPECT_EQ(p.part_size, 0u);   // below 16 MiB as a download
  EXPECT_EQ(p.data_path, stem + L".lzms");
  EXPECT_EQ(p.raw_path, stem + L".raw");
  EXPECT_EQ(p.parts_path, stem + L".parts");
  const DownloadFile& a = table_.files.at("bin/a.dll");
  EXPECT_FALSE(a.packed);
  EXPECT_EQ(a.data_path, a.raw_path);

  EXPECT_EQ(table_.files.count("bin/a_copy.dll"), 0u);  // equal content is fetched once
  EXPECT_EQ(table_.files.size(), 5u);
  EXPECT_EQ(table_.files_done.load(), 1u);  // the empty file
  EXPECT_EQ(table_.files.at("bin/empty.dll").done_offsets, std::set<std::uint32_t>{0});

  // Largest first; equal sizes keep manifest order, then offset order.
  using Q = std::vector<std::tuple<std::string, std::uint32_t, std::uint32_t>>;
  EXPECT_EQ(queue_of(pool_), (Q{{"bin/big.dll", 0, 8388608},
                                {"bin/big.dll", 8388608, 8388608},
                                {"bin/packed.dll", 0, 0},
                                {"bin/big.dll", 16777216, 4194304},
                                {"bin/a.dll", 0, 0},
                                {"bin/b.dll", 0, 0}}));
  EXPECT_EQ(pool_.parts[2].url_path, "files/bin/packed.dll.lzms");
  EXPECT_EQ(pool_.bytes_done.load(), 0u);
  EXPECT_EQ(pool_.next_index.load(), 0u);
}

TEST_F(PlanTest, ASecondPlanQueuesOnlyWhatIsMissing) {
  const DownloadEntry big = make_entry("big.bin", 20971520, 8);
  const DownloadEntry whole = make_entry("whole.bin", 5000, 9);
  const DownloadEntry other = make_entry("other.bin", 7000, 10);
  ASSERT_TRUE(plan({big, whole, other}, true));
  mark_part_done(table_, table_.files.at("big.bin"), 16777216);
  mark_part_done(table_, table_.files.at("big.bin"), 0);
  mark_part_done(table_, table_.files.at("whole.bin"), 0);

  ASSERT_TRUE(plan({big, whole, other}, true));
  using Q = std::vector<std::tuple<std::string, std::uint32_t, std::uint32_t>>;
  EXPECT_EQ(queue_of(pool_), (Q{{"big.bin", 8388608, 8388608}, {"other.bin", 0, 0}}));
  EXPECT_EQ(pool_.bytes_done.load(), 8388608u + 4194304u + 5000u);
  EXPECT_EQ(table_.files_done.load(), 1u);
  EXPECT_EQ(table_.bytes_total, 20971520u + 5000u + 7000u);

  // The same staging files in a run without ranges: the ranged file starts afresh.
  ASSERT_TRUE(plan({big, whole, other}, false));
  EXPECT_EQ(queue_of(pool_), (Q{{"big.bin", 0, 0}, {"other.bin", 0, 0}}));
  EXPECT_EQ(pool_.bytes_done.load(), 5000u);
}

TEST_F(PlanTest, SizesBeyondThirtyTwoBitPartArithmeticAreRefused) {
  const DownloadEntry first = make_entry("first.bin", 100, 11);
  const DownloadEntry huge = make_entry("huge.bin", 4286578689u, 12);
  ASSERT_FALSE(plan({first, huge}, true));
  EXPECT_EQ(failure_.file, "huge.bin");
  EXPECT_EQ(failure_.error_code, kErrorFileTooLarge);
  EXPECT_FALSE(table_.files.at("first.bin").handle.is_open());
  EXPECT_FALSE(os::file_info(staging_ / os::from_utf8(huge.sha256) + L".raw"));

  // The largest size that is supported plans its last part at 4 GiB - 16 MiB, without wrapping.
  const DownloadEntry largest = make_entry("largest.bin", kMaxDownloadSize, 13);
  ASSERT_TRUE(plan({largest}, true));
  ASSERT_EQ(pool_.parts.size(), 511u);
  EXPECT_EQ(table_.files.at("largest.bin").part_count, 511u);
  EXPECT_EQ(pool_.parts.back().offset, 4278190080u);
  EXPECT_EQ(pool_.parts.back().length, 8388608u);
  close_download_files(table_);
  EXPECT_EQ(os::delete_file(table_.files.at("largest.bin").data_path), os::kErrorSuccess);
}

TEST_F(PlanTest, AStagingFileThatCannotBePreparedStopsThePlanWithPathAndCode) {
  const DownloadEntry first = make_entry("first.bin", 100, 14);
  const DownloadEntry second = make_entry("sub/second.bin", 200, 15);
  const std::wstring blocked = staging_ / os::from_utf8(second.sha256) + L".raw";
  test::ScopedFsFault fault([&](os::FsOp op, std::wstring_view path, std::wstring_view) {
    return op == os::FsOp::OpenForWrite && path == blocked ? os::kErrorDiskFull : os::kErrorSuccess;
  });
  ASSERT_FALSE(plan({first, second}, false));
  EXPECT_EQ(failure_.file, "sub/second.bin");
  EXPECT_EQ(failure_.error_code, os::kErrorDiskFull);
  EXPECT_EQ(table_.files.count("sub/second.bin"), 0u);
  EXPECT_FALSE(table_.files.at("first.bin").handle.is_open());
}

TEST_F(PlanTest, ASecondContentUnderAPlannedPathIsNotMixedIntoTheFirst) {
  const DownloadEntry one = make_entry("bin/x.dll", 100, 16);
  const DownloadEntry other = make_entry("bin/x.dll", 300, 17);
  ASSERT_TRUE(plan({one, other}, false));
  ASSERT_EQ(pool_.parts.size(), 1u);
  EXPECT_EQ(pool_.parts[0].file_size, 100u);
  EXPECT_EQ(table_.files.at("bin/x.dll").size, 100u);
}

}  // namespace
}  // namespace corvane
