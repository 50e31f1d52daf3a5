// What goes wrong on the download workers (exhausted memory, exceptions from a writer) and in the
// progress function ends as failed parts or a failed pool, never the program; and request paths
// go out as they are written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/download_plan.h"
#include "net/download_pool.h"
#include "net/http_client.h"
#include "net_fixture.h"
#include "support/failing_allocation.h"

namespace {

// Allocations on a thread that has set this fail with std::bad_alloc: exhausted memory on exactly
// the threads a test chooses.
thread_local bool t_out_of_memory = false;

}  // namespace

bool corvane::test::allocation_should_fail() noexcept { return t_out_of_memory; }

namespace corvane {
namespace {

using test::make_entry;
using test::noise;
using test_cdn::FaultKind;

// write_part_data, except that the worker writing "bin/starved" runs out of memory from then on,
// and the one writing "bin/thrown" meets an exception of no standard type.
bool faulty_writer(FileTable& table, const DownloadPart& part, std::uint64_t offset, const std::uint8_t* data,
                   std::size_t size) {
  if (part.file_key == "bin/thrown") throw 7;
  if (part.file_key == "bin/starved") t_out_of_memory = true;
  return write_part_data(table, part, offset, data, size);
}

class WorkerFaults : public test::CdnTest {
 protected:
  void TearDown() override {
    close_download_files(table_);
    CdnTest::TearDown();
  }
  void publish_files(std::size_t count, std::uint32_t size, std::vector<std::string> names = {}) {
    for (std::size_t i = names.size(); i < count; ++i) names.push_back("bin/f" + std::to_string(i));
    files_.clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
      files_.push_back(make_entry(names[i], size, static_cast<std::uint32_t>(i + 1)));
      publish(files_.back(), noise(size, static_cast<std::uint32_t>(i + 1)));
    }
  }
  void plan() {
    close_download_files(table_);
    PlanFailure failure;
    ASSERT_TRUE(plan_downloads(files_, false, staging(), table_, pool_, failure)) << failure.file;
  }
  std::uint64_t accounted() const { return std::uint64_t{pool_.parts_done.load()} + pool_.parts_failed.load(); }

  std::vector<DownloadEntry> files_;
  FileTable table_;
  DownloadPool pool_;
};

TEST_F(WorkerFaults, AWorkerOutOfMemoryOrMeetingAnExceptionFailsItsPartNotTheProgram) {
  publish_files(12, 20000, {"bin/starved", "bin/thrown"});
  plan();
  run_download_pool(url_, pool_, 4, table_, &faulty_writer, nullptr, nullptr);
  close_download_files(table_);
  // The two parts failed; the other workers fetched the rest, and every part is accounted for.
  EXPECT_EQ(pool_.parts_failed.load(), 2u);
  EXPECT_EQ(pool_.parts_done.load(), 10u);
  EXPECT_EQ(table_.files_done.load(), 10u);

  // The next pool, with memory to spare, fetches only those two.
  server_.reset_counters();
  plan();
  EXPECT_EQ(pool_.parts.size(), 2u);
  run_download_pool(url_, pool_, 4, table_, &write_part_data, nullptr, nullptr);
  EXPECT_EQ(pool_.parts_done.load(), 2u);
  EXPECT_EQ(table_.files_done.load(), 12u);
  EXPECT_EQ(server_.totals().requests, 2u);
}

TEST_F(WorkerFaults, AProgressFunctionThatThrowsStopsThePoolAndIsHandedOnAfterTheJoin) {
  // Slow files, so that the pool is still at work when the progress function throws.
  publish_files(16, 40000);
  server_.add_fault({.kind = FaultKind::kSlowBody, .bytes_per_second = 100000});
  plan();
  struct Counter {
    int calls = 0;
  } counter;
  const auto throwing_progress = [](void* context) {
    if (++static_cast<Counter*>(context)->calls == 2) throw std::runtime_error("caller gave up");
  };
  EXPECT_THROW(run_download_pool(url_, pool_, 4, table_, &write_part_data, throwing_progress, &counter),
               std::runtime_error);
  // Every worker has ended (they were joined); the parts in their hands were finished and no part
  // was claimed after the throw: the rest count as failed.
  EXPECT_EQ(counter.calls, 2);
  EXPECT_EQ(accounted(), files_.size());
  EXPECT_GT(pool_.parts_failed.load(), 0u);
  EXPECT_EQ(server_.totals().requests, pool_.parts_done.load());
  EXPECT_LT(server_.totals().requests, files_.size());
}

TEST_F(WorkerFaults, RequestPathsGoOutAsWritten) {
  std::string body;
  std::uint32_t status = 0;
  for (const std::string relative : {"files/./a", "files/x/../a", "files//a"}) {
    SCOPED_TRACE(relative);
    (void)http_get_to_memory(url_, relative, 1024, body, &status);
    EXPECT_EQ(server_.counters(server_path(relative)).requests, 1u);
  }
  EXPECT_EQ(server_.totals().requests, 3u);
}

}  // namespace
}  // namespace corvane
