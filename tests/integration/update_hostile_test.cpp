// The update run against a caller whose progress callback throws: the run fails with a status,
// never crashes, and the next run completes.
#include <algorithm>
#include <new>

#include "integration/update_fixture.h"

namespace corvane::test {
namespace {

// Throws what the test chose on the second progress report.
struct ThrowingProgress {
  int calls = 0;
  bool out_of_memory = false;
  static void report(void* context, std::uint64_t, std::uint64_t, std::uint32_t, std::uint32_t) {
    auto* self = static_cast<ThrowingProgress*>(context);
    if (++self->calls < 2) return;
    if (self->out_of_memory) throw std::bad_alloc();
    throw 42;
  }
};

TEST_F(UpdateRunTest, AProgressCallbackThatThrowsFailsTheRunAndTheNextOneCompletes) {
  const Tree release = small_release(1);
  publish(release);
  // Slow enough that the download is still under way at the second report.
  server_.add_fault({.kind = test_cdn::FaultKind::kSlowBody, .bytes_per_second = 200000});
  for (const bool out_of_memory : {true, false}) {
    SCOPED_TRACE(out_of_memory);
    remove_all(client_.path());
    make_dirs(client_.path());
    ThrowingProgress progress;
    progress.out_of_memory = out_of_memory;
    EXPECT_EQ(run({&progress, &ThrowingProgress::report}), kFailed);
    EXPECT_EQ(progress.calls, 2);
    EXPECT_EQ(result_.status, out_of_memory ? kStatusOutOfMemory : kStatusInterrupted);
    EXPECT_NE(console_.find(out_of_memory ? "[!] Obnovlenie: nedostatochno pamyati, obnovlenie prervano.\n"
                                          : "[!] Obnovlenie: vnutrennyaya oshibka, obnovlenie prervano.\n"),
              std::string::npos)
        << console_;
    // Nothing of the client was touched; what arrived waits in the staging folder.
    const Tree after = client_tree();
    EXPECT_TRUE(std::all_of(after.begin(), after.end(),
                            [](const auto& file) { return file.first.rfind("update/", 0) == 0; }));
  }
  server_.clear_faults();
  server_.reset_counters();
  ASSERT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(client_tree(), release);
}

}  // namespace
}  // namespace corvane::test
