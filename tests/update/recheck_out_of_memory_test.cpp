// The parallel re-check of the client's files when memory runs out while it starts its threads:
// the failure reaches the caller once every thread has ended, and the program goes on. A program
// of its own: it replaces the global allocation functions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "os/text.h"
#include "support/failing_allocation.h"
#include "support/temp_dir.h"
#include "update/manifest.h"
#include "update/verification.h"

namespace {

// On a thread that sets it, the allocation that counts this down to zero fails with std::bad_alloc.
thread_local int t_allocations_left = 0;

}  // namespace

bool corvane::test::allocation_should_fail() noexcept {
  return t_allocations_left > 0 && --t_allocations_left == 0;
}

namespace corvane {
namespace {

TEST(RecheckOutOfMemory, EveryAllocationOfTheCallingThreadMayFailWithoutEndingTheProgram) {
  test::TempDir client;
  std::vector<ManifestFile> files;
  // Files that are all current, except that the first has another size.
  for (int i = 0; i < 12; ++i) {
    std::string name = "f";
    name += std::to_string(i);
    test::write_text(client / os::from_utf8(name), std::string(100 + i, 'x'));
    files.push_back(ManifestFile{name, std::string(64, '0'), static_cast<std::uint32_t>(100 + i + (i == 0 ? 1 : 0)), 0});
  }
  const std::vector<std::uint8_t> expected(files.size(), 0);  // the digests never match

  int failures = 0;
  int answers = 0;
  // Each allocation of the calling thread fails in turn, those made while threads are started
  // among them; a failure must come back as std::bad_alloc, or the work is done anyway.
  for (int n = 1; n <= 60; ++n) {
    t_allocations_left = n;
    try {
      const std::vector<std::uint8_t> current = check_files_current(client.path(), files, 8);
      t_allocations_left = 0;
      EXPECT_EQ(current, expected) << "allocation " << n;
      ++answers;
    } catch (const std::bad_alloc&) {
      t_allocations_left = 0;
      ++failures;
    }
  }
  EXPECT_GT(failures, 0);
  EXPECT_GT(answers, 0);
}

}  // namespace
}  // namespace corvane
