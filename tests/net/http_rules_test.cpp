#include "net/http_rules.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

namespace corvane {
namespace {

TEST(RangeHeader, InclusiveLastByteComputedIn64Bits) {
  EXPECT_EQ(range_header(8388608, 8388608), "Range: bytes=8388608-16777215");
  EXPECT_EQ(range_header(0, 1), "Range: bytes=0-0");
  EXPECT_EQ(range_header(16777216, 4194304), "Range: bytes=16777216-20971519");
  EXPECT_EQ(range_header(4286578688u, 8388608), "Range: bytes=4286578688-4294967295");
  EXPECT_EQ(range_header(4294967295u, 4294967295u), "Range: bytes=4294967295-8589934589");
}

TEST(PartStatus, RangedTakesOnly206WholeTakes200Or206AndFatalIsRefusalOrBadRange) {
  EXPECT_TRUE(part_status_accepted(true, 206));
  EXPECT_FALSE(part_status_accepted(true, 200));
  EXPECT_TRUE(part_status_accepted(false, 200));
  EXPECT_TRUE(part_status_accepted(false, 206));
  for (const std::uint32_t other : {0u, 204u, 301u, 403u, 404u, 416u, 500u, 503u}) {
    EXPECT_FALSE(part_status_accepted(true, other)) << other;
    EXPECT_FALSE(part_status_accepted(false, other)) << other;
  }
  for (const std::uint32_t fatal : {403u, 404u, 416u}) EXPECT_TRUE(is_fatal_status(fatal));
  for (const std::uint32_t retry : {200u, 206u, 401u, 408u, 429u, 500u, 502u, 503u}) {
    EXPECT_FALSE(is_fatal_status(retry)) << retry;
  }
}

TEST(ThroughputFloor, TripsOnlyAfterAWholeWindowBelowTheFloor) {
  using std::chrono::milliseconds;
  const SteadyTime t0{};
  // Checks in order: (ms since the start, bytes received so far, expected answer).
  struct Check {
    int ms;
    std::uint64_t received;
    bool holds;
  };
  const struct {
    const char* name;
    std::vector<Check> checks;
  } cases[] = {
      {"nothing yet within the first window", {{0, 0, true}, {999, 0, true}}},
      {"a stalled first window", {{1000, 99, false}}},
      {"exactly the floor", {{1000, 100, true}}},
      // Each window is judged on its own bytes, not on what an earlier one brought.
      {"a fast start, then a trickle", {{1000, 5000, true}, {1500, 5010, true}, {2000, 5050, false}}},
      {"a slow start that picks up", {{500, 10, true}, {1000, 150, true}, {2000, 400, true}}},
  };
  for (const auto& c : cases) {
    ThroughputFloor floor(100, milliseconds(1000), t0);
    for (const Check& check : c.checks) {
      EXPECT_EQ(floor.holds(t0 + milliseconds(check.ms), check.received), check.holds) << c.name << " @" << check.ms;
    }
  }
  ThroughputFloor none(0, milliseconds(1000), t0);  // no floor: never trips
  EXPECT_TRUE(none.holds(t0 + milliseconds(60000), 0));
}

// A sink that records where each piece went and can refuse the n-th piece.
struct Recorder {
  std::vector<std::pair<std::uint64_t, std::size_t>> pieces;
  int refuse_at = -1;
  static bool sink(void* context, const DownloadPart&, std::uint64_t offset, const std::uint8_t*,
                   std::size_t size) {
    auto* self = static_cast<Recorder*>(context);
    if (static_cast<int>(self->pieces.size()) == self->refuse_at) return false;
    self->pieces.emplace_back(offset, size);
    return true;
  }
};

const std::vector<std::uint8_t> kPiece(1000, 0x5a);

TEST(PartReceiver, WritesPiecesAtConsecutiveOffsetsAndCountsIntoThePool) {
  const DownloadPart part{"a", "files/a", 30000, 8000, 3000};
  Recorder recorder;
  std::atomic<std::uint64_t> bytes_done{500};
  PartReceiver receiver(part, &Recorder::sink, &recorder, bytes_done);
  ASSERT_TRUE(receiver.on_status(206));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(receiver.on_body(kPiece.data(), kPiece.size()));
  bool fatal = true;
  EXPECT_TRUE(receiver.finish(os::HttpOutcome::kBodyEnded, fatal));
  EXPECT_FALSE(fatal);
  EXPECT_EQ(bytes_done.load(), 3500u);
  const std::vector<std::pair<std::uint64_t, std::size_t>> want{{8000, 1000}, {9000, 1000}, {10000, 1000}};
  EXPECT_EQ(recorder.pieces, want);
}

TEST(PartReceiver, WrongByteCountsAreFatalAndNothingIsWrittenPastThePart) {
  const DownloadPart part{"a", "files/a", 2500, 0, 0};  // whole file of 2500 bytes
  {
    // Too few bytes, the body ending (or cut short) early.
    for (const os::HttpOutcome end : {os::HttpOutcome::kBodyEnded, os::HttpOutcome::kBodyCutShort}) {
      Recorder recorder;
      std::atomic<std::uint64_t> bytes_done{0};
      PartReceiver receiver(part, &Recorder::sink, &recorder, bytes_done);
      ASSERT_TRUE(receiver.on_status(200));
      ASSERT_TRUE(receiver.on_body(kPiece.data(), kPiece.size()));
      bool fatal = false;
      EXPECT_FALSE(receiver.finish(end, fatal));
      EXPECT_TRUE(fatal);
      EXPECT_EQ(bytes_done.load(), 1000u);  // bytes of a failed attempt stay counted
    }
  }
  {
    // Too many: the third piece would reach past byte 2500 and is refused whole.
    Recorder recorder;
    std::atomic<std::uint64_t> bytes_done{0};
    PartReceiver receiver(part, &Recorder::sink, &recorder, bytes_done);
    ASSERT_TRUE(receiver.on_status(206));
    ASSERT_TRUE(receiver.on_body(kPiece.data(), kPiece.size()));
    ASSERT_TRUE(receiver.on_body(kPiece.data(), kPiece.size()));
    EXPECT_FALSE(receiver.on_body(kPiece.data(), kPiece.size()));
    bool fatal = false;
    EXPECT_FALSE(receiver.finish(os::HttpOutcome::kStopped, fatal));
    EXPECT_TRUE(fatal);
    EXPECT_EQ(recorder.pieces.size(), 2u);
    EXPECT_EQ(bytes_done.load(), 2000u);
  }
}

TEST(PartReceiver, TransportAndWriterFailuresAreNotFatal) {
  const DownloadPart whole{"a", "files/a", 100, 0, 0};
  std::atomic<std::uint64_t> bytes_done{0};
  Recorder recorder;
  for (const os::HttpOutcome failed : {os::HttpOutcome::kNoResponse, os::HttpOutcome::kBodyFailed}) {
    PartReceiver receiver(whole, &Recorder::sink, &recorder, bytes_done);
    bool fatal = true;
    EXPECT_FALSE(receiver.finish(failed, fatal));
    EXPECT_FALSE(fatal);
  }
  // A writer that refuses a piece fails the attempt without fatality.
  Recorder refusing;
  refusing.refuse_at = 0;
  PartReceiver receiver(whole, &Recorder::sink, &refusing, bytes_done);
  ASSERT_TRUE(receiver.on_status(200));
  EXPECT_FALSE(receiver.on_body(kPiece.data(), 100));
  bool fatal = true;
  EXPECT_FALSE(receiver.finish(os::HttpOutcome::kStopped, fatal));
  EXPECT_FALSE(fatal);
}

}  // namespace
}  // namespace corvane
