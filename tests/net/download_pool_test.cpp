#include "net/download_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/arrival_hash.h"
#include "net/download_plan.h"
#include "net/resume.h"
#include "net_fixture.h"
#include "os/fs.h"
#include "support/http_quirks.h"

namespace corvane {
namespace {

using test::make_entry;
using test::noise;
using test::read_text;
using test_cdn::Fault;
using test_cdn::FaultKind;

std::atomic<std::size_t> g_largest_piece{0};

// write_part_data, noting the largest piece handed to a writer.
bool measuring_writer(FileTable& table, const DownloadPart& part, std::uint64_t offset,
                      const std::uint8_t* data, std::size_t size) {
  std::size_t seen = g_largest_piece.load();
  while (size > seen && !g_largest_piece.compare_exchange_weak(seen, size)) {
  }
  return write_part_data(table, part, offset, data, size);
}

struct ProgressLog {
  struct Call {
    std::thread::id thread;
    std::chrono::steady_clock::time_point when;
    std::uint64_t bytes_done;
    std::uint32_t files_done;
  };
  const DownloadPool* pool = nullptr;
  const FileTable* table = nullptr;
  std::vector<Call> calls;
  static void report(void* context) {
    auto* self = static_cast<ProgressLog*>(context);
    self->calls.push_back(Call{std::this_thread::get_id(), std::chrono::steady_clock::now(),
                               self->pool->bytes_done.load(), self->table->files_done.load()});
  }
};

class PoolTest : public test::CdnTest {
 protected:
  void TearDown() override {
    close_download_files(table_);
    CdnTest::TearDown();
  }
  // Publishes the entries with their contents and plans them.
  void publish_all(const std::vector<DownloadEntry>& files) {
    contents_.clear();
    for (const DownloadEntry& f : files) {
      contents_.push_back(noise(download_size(f), static_cast<std::uint32_t>(f.sha256.back())));
      publish(f, contents_.back());
    }
  }
  void plan(const std::vector<DownloadEntry>& files, bool ranges_ok) {
    close_download_files(table_);
    PlanFailure failure;
    ASSERT_TRUE(plan_downloads(files, ranges_ok, staging(), table_, pool_, failure)) << failure.file;
  }
  void run(unsigned threads, PartWriter writer = &write_part_data) {
    progress_ = ProgressLog{&pool_, &table_, {}};
    run_download_pool(url_, pool_, threads, table_, writer, &ProgressLog::report, &progress_);
    close_download_files(table_);
  }
  // The staging file of entry i equals its published content.
  void expect_staged(const std::vector<DownloadEntry>& files) {
    for (std::size_t i = 0; i < files.size(); ++i) {
      EXPECT_TRUE(read_text(table_.files.at(files[i].path).data_path) == contents_[i]) << files[i].path;
    }
  }
  // Every download of entries that are not packed and not empty was hashed on its way in, to the
  // digest of its content; the others were not.
  void expect_hashed_on_arrival(const std::vector<DownloadEntry>& files) {
    for (std::size_t i = 0; i < files.size(); ++i) {
      const std::optional<os::Sha256Digest> digest = arrival_digest(table_.files.at(files[i].path));
      if (files[i].packed_size != 0 || files[i].size == 0) {
        EXPECT_FALSE(digest.has_value()) << files[i].path;
      } else {
        EXPECT_TRUE(digest == test::sha256_of(contents_[i])) << files[i].path;
      }
    }
  }

  FileTable table_;
  DownloadPool pool_;
  ProgressLog progress_;
  std::vector<std::string> contents_;
};

TEST_F(PoolTest, RangedAndWholeFilesArriveByteExactThroughSeveralWorkers) {
  const std::vector<DownloadEntry> files = {
      make_entry("bin/big.dll", 20971520, 1), make_entry("bin/edge.dll", 16777215, 2),
      make_entry("bin/packed.dll", 900000, 3, 300001), make_entry("data/a.txt", 70000, 4),
      make_entry("data/empty.txt", 0, 5)};
  publish_all(files);
  plan(files, true);
  ASSERT_EQ(pool_.parts.size(), 6u);
  g_largest_piece = 0;
  run(4, &measuring_writer);

  EXPECT_EQ(pool_.parts_done.load(), 6u);
  EXPECT_EQ(pool_.parts_failed.load(), 0u);
  EXPECT_EQ(pool_.bytes_done.load(), table_.bytes_total);
  EXPECT_EQ(table_.files_done.load(), 5u);
  expect_staged(files);
  expect_hashed_on_arrival(files);
  EXPECT_LE(g_largest_piece.load(), 262144u);

  const test_cdn::PathCounters big = server_.counters(server_path("files/bin/big.dll"));
  EXPECT_EQ(big.requests, 3u);
  EXPECT_EQ(big.ranged_requests, 3u);
  EXPECT_EQ(big.body_bytes, 20971520u);
  EXPECT_EQ(server_.counters(server_path("files/bin/edge.dll")).ranged_requests, 0u);
  EXPECT_EQ(server_.counters(server_path("files/bin/packed.dll.lzms")).body_bytes, 300001u);
  EXPECT_LE(server_.connections(), 4u);  // one kept-alive connection per worker at most

  const std::string record = read_text(table_.files.at("bin/big.dll").parts_path);
  ASSERT_EQ(record.size(), 16u);
  EXPECT_EQ(read_parts_file(table_.files.at("bin/big.dll").parts_path).front(), 8388608u);
  EXPECT_EQ(read_text(table_.files.at("data/a.txt").parts_path), std::string(8, '\0'));
}

// A part is recorded in the resume file only once its bytes are on the disk: after a power cut a
// recorded part must read back as it arrived, not as the zeros of an unwritten block.
TEST_F(PoolTest, APartIsRecordedOnlyOnceItsBytesAreOnTheDisk) {
  const std::vector<DownloadEntry> files = {make_entry("big.bin", 20971520, 8), make_entry("small.bin", 40000, 9)};
  publish_all(files);
  plan(files, true);
  const std::wstring big_data = table_.files.at("big.bin").data_path;
  const std::wstring big_parts = table_.files.at("big.bin").parts_path;
  const std::wstring small_data = table_.files.at("small.bin").data_path;
  const std::wstring small_parts = table_.files.at("small.bin").parts_path;
  // Every flush of the small file fails; the big file's calls are written down in order.
  std::mutex lock;
  std::vector<std::string> calls;
  test::ScopedFsFault hook([&](os::FsOp op, std::wstring_view path, std::wstring_view) {
    const bool big = path == big_data || path == big_parts;
    if (op == os::FsOp::Sync && path == small_data) return os::kErrorIoDevice;
    if (big && (op == os::FsOp::Sync || op == os::FsOp::OpenForWrite)) {
      const std::lock_guard<std::mutex> guard(lock);
      calls.push_back(std::string(op == os::FsOp::Sync ? "sync " : "open ") + (path == big_data ? "data" : "record"));
    }
    return os::kErrorSuccess;
  });
  run(4);
  EXPECT_EQ(pool_.parts_failed.load(), 0u);
  expect_staged(files);
  // The small file never reached the disk: its part is complete for this run, but not recorded.
  EXPECT_EQ(read_parts_file(small_parts), std::vector<std::uint32_t>{0u});
  // The big file's three parts are recorded, and its record was only ever opened for appending
  // right after a flush of its data.
  EXPECT_EQ(read_parts_file(big_parts).size(), 4u);
  ASSERT_FALSE(calls.empty());
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i] == "open record") {
      EXPECT_TRUE(i > 0 && calls[i - 1] == "sync data") << "a record was written before its part's bytes were flushed";
    }
  }
}

TEST_F(PoolTest, AnInterruptedRunIsResumedByFetchingOnlyTheMissingParts) {
  const std::vector<DownloadEntry> files = {make_entry("big.bin", 20971520, 6),
                                           make_entry("small.bin", 40000, 7)};
  publish_all(files);
  const std::string big_path = server_path("files/big.bin");
  // The first request for the big file completes; every later one is reset after 1 MiB.
  server_.add_fault(Fault{.kind = FaultKind::kDropAfter, .path = big_path, .bytes = 1048576, .skip = 1});
  plan(files, true);
  run(2);
  EXPECT_EQ(pool_.parts_done.load(), 2u);
  EXPECT_EQ(pool_.parts_failed.load(), 2u);
  // A reset is a failed transfer, not fatal (under Wine it may read as a short body, which is).
  if (!test::reset_may_read_as_end_of_body()) {
    EXPECT_EQ(pool_.parts_fatal.load(), 0u);
  }
  EXPECT_EQ(server_.counters(big_path).requests, 1u + 2u * 3u);  // three attempts each
  EXPECT_EQ(table_.files_done.load(), 1u);

  server_.clear_faults();
  server_.reset_counters();
  plan(files, true);
  ASSERT_EQ(pool_.parts.size(), 2u);
  const std::uint64_t done_before = pool_.bytes_done.load();
  EXPECT_EQ(done_before, 8388608u + 40000u);
  run(2);
  EXPECT_EQ(pool_.parts_failed.load(), 0u);
  EXPECT_EQ(server_.counters(big_path).body_bytes, 20971520u - 8388608u);
  EXPECT_EQ(server_.counters(server_path("files/small.bin")).requests, 0u);
  EXPECT_EQ(pool_.bytes_done.load(), table_.bytes_total);
  EXPECT_EQ(table_.files_done.load(), 2u);
  expect_staged(files);
  // The big file's digest covers the part from the first run too, read back from disk; the small
  // file came whole in the first run and is left to verification.
  EXPECT_TRUE(arrival_digest(table_.files.at("big.bin")) == test::sha256_of(contents_[0]));
  EXPECT_FALSE(arrival_digest(table_.files.at("small.bin")).has_value());
  EXPECT_EQ(read_text(table_.files.at("big.bin").parts_path).size(), 16u);
}

TEST_F(PoolTest, FailedPartsAreCountedAndOnlyRefusalsAndWrongCountsAreFatal) {
  const std::vector<DownloadEntry> files = {make_entry("big.bin", 17000000, 8),
                                           make_entry("gone.bin", 5000, 9),
                                           make_entry("cut.bin", 6000, 10),
                                           make_entry("fine.bin", 7000, 11)};
  publish_all(files);
  server_.add_fault(Fault{.kind = FaultKind::kIgnoreRange, .path = server_path("files/big.bin")});
  server_.add_fault(Fault{.kind = FaultKind::kStatus, .path = server_path("files/gone.bin"), .status = 404});
  server_.add_fault(Fault{.kind = FaultKind::kShortBody, .path = server_path("files/cut.bin"), .bytes = 3000});
  plan(files, true);
  ASSERT_EQ(pool_.parts.size(), 6u);  // three ranges of big.bin, three whole files
  run(3);
  EXPECT_EQ(pool_.parts_done.load(), 1u);
  EXPECT_EQ(pool_.parts_failed.load(), 5u);
  EXPECT_EQ(pool_.parts_fatal.load(), 2u);  // the 404 and the short body, not the ignored ranges
  EXPECT_EQ(server_.counters(server_path("files/gone.bin")).requests, 3u);
  EXPECT_EQ(table_.files_done.load(), 1u);
  // Failed parts leave no record behind: a later run fetches them again.
  EXPECT_EQ(read_parts_file(table_.files.at("cut.bin").parts_path), std::vector<std::uint32_t>{0});
}

TEST_F(PoolTest, APoolThatCannotReachTheServerEndsPromptlyWithEveryPartFailed) {
  std::vector<DownloadEntry> files = {make_entry("big.bin", 20971520, 12)};
  for (std::uint32_t i = 0; i < 5; ++i) files.push_back(make_entry("s" + std::to_string(i), 1000 + i, 20 + i));
  publish_all(files);
  server_.add_fault(Fault{.kind = FaultKind::kRefuse});
  plan(files, true);
  const auto start = std::chrono::steady_clock::now();
  run(8);
  // Refused connections fail at once: no connect or stall time-out (15 s and more) is waited for.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(pool_.parts_done.load(), 0u);
  EXPECT_EQ(pool_.parts_failed.load(), 8u);
  EXPECT_EQ(pool_.parts_fatal.load(), 0u);
  EXPECT_GE(server_.connections(), 8u * 3u);
}

TEST_F(PoolTest, APoolWhoseWorkersNeverConnectStillEnds) {
  const std::vector<DownloadEntry> files = {make_entry("a.bin", 1000, 30), make_entry("b.bin", 2000, 31)};
  publish_all(files);
  // No worker at all, and workers that cannot open a connection (no host to connect to).
  plan(files, false);
  run(0);
  EXPECT_EQ(pool_.parts_failed.load(), 2u);
  ASSERT_FALSE(progress_.calls.empty());

  plan(files, false);
  const UrlParts saved = url_;
  url_.host.clear();
  run(8);
  url_ = saved;
  EXPECT_EQ(pool_.parts_failed.load(), 2u);
  EXPECT_EQ(pool_.parts_done.load(), 0u);
  EXPECT_EQ(server_.totals().requests, 0u);
}

TEST_F(PoolTest, ProgressIsReportedFromTheCallingThreadAboutEveryFifthOfASecond) {
  const std::vector<DownloadEntry> files = {make_entry("a.bin", 300000, 40), make_entry("b.bin", 300000, 41)};
  publish_all(files);
  server_.add_fault(Fault{.kind = FaultKind::kSlowBody, .bytes_per_second = 250000});
  plan(files, false);
  const auto start = std::chrono::steady_clock::now();
  run(2);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(pool_.parts_done.load(), 2u);

  const std::vector<ProgressLog::Call>& calls = progress_.calls;
  ASSERT_GE(calls.size(), 4u);
  for (const ProgressLog::Call& call : calls) EXPECT_EQ(call.thread, std::this_thread::get_id());
  const auto expected = elapsed / std::chrono::milliseconds(200);
  EXPECT_GE(static_cast<long>(calls.size()), expected / 2);  // sleeps overshoot on a busy machine
  EXPECT_LE(static_cast<long>(calls.size()), expected + 2);
  for (std::size_t i = 1; i + 1 < calls.size(); ++i) {
    EXPECT_GE(calls[i].when - calls[i - 1].when, std::chrono::milliseconds(190));
    EXPECT_GE(calls[i].bytes_done, calls[i - 1].bytes_done);
  }
  EXPECT_LT(calls.front().bytes_done, 600000u);
  EXPECT_EQ(calls.back().bytes_done, 600000u);
  EXPECT_EQ(calls.back().files_done, 2u);
}

TEST_F(PoolTest, WritePartDataStaysInsideThePartAndRecordsItsCompletion) {
  const std::vector<DownloadEntry> files = {make_entry("w.bin", 20971520, 50)};
  plan(files, true);
  const DownloadPart last{"w.bin", "files/w.bin", 20971520, 16777216, 4194304};
  const std::string piece(4096, 'z');
  const auto* data = reinterpret_cast<const std::uint8_t*>(piece.data());
  EXPECT_FALSE(write_part_data(table_, DownloadPart{"other.bin", "", 10, 0, 0}, 0, data, 10));
  EXPECT_FALSE(write_part_data(table_, last, 16777216 - 1, data, 2));           // before the part
  EXPECT_FALSE(write_part_data(table_, last, 20971520 - 4095, data, 4096));     // past its end
  EXPECT_TRUE(write_part_data(table_, last, 16777216, data, 4096));
  EXPECT_TRUE(table_.files.at("w.bin").done_offsets.empty());
  EXPECT_TRUE(write_part_data(table_, last, 20971520 - 4096, data, 4096));     // its last byte
  EXPECT_TRUE(write_part_data(table_, last, 20971520 - 4096, data, 4096));     // again, on a retry
  EXPECT_EQ(table_.files.at("w.bin").done_offsets, std::set<std::uint32_t>{16777216});
  close_download_files(table_);
  const std::vector<std::uint32_t> want{8388608, 16777216};
  EXPECT_EQ(read_parts_file(table_.files.at("w.bin").parts_path), want);
  const std::string staged = read_text(table_.files.at("w.bin").data_path);
  EXPECT_EQ(staged.substr(16777216, 4096), piece);
  EXPECT_EQ(staged[16777216 - 1], '\0');
}

}  // namespace
}  // namespace corvane
