// Updates by chunks end to end: a chunked file is rebuilt from the chunks the client has and only
// the missing ones travel, from any older release; anything wrong on the delta path ends in the
// whole download of that file, with a line, and a sound client.
#include <algorithm>
#include <functional>
#include <set>

#include "integration/update_fixture.h"
#include "os/fs.h"
#include "os/text.h"
#include "release_builder/release.h"
#include "update/chunk_index.h"
#include "update/chunker.h"
#include "update/verification.h"

namespace corvane::test {
namespace {

constexpr const char* kBig = "bin/world.pak";
constexpr const char* kFallbackLine = "[!] Obnovlenie: chastichnaya zagruzka bin/world.pak ne udalas";

std::string overwrite(std::string bytes, std::size_t at, std::size_t length, std::uint64_t seed) {
  bytes.replace(at, length, noise(length, seed));
  return bytes;
}

// Three releases of one large chunked file: each changes a few places of the one before and the
// newest also grows by an insertion.
std::string big_file(int release) {
  std::string bytes = noise(3u << 20, 41);
  if (release >= 1) bytes = overwrite(overwrite(bytes, 200000, 3000, 42), 1500000, 90000, 43);
  if (release >= 2) {
    bytes = overwrite(bytes, 2600000, 40000, 44);
    bytes.insert(900000, noise(5000, 45));
  }
  return bytes;
}

Tree release_of(int release) {
  Tree tree = small_release(release);
  tree[kBig] = big_file(release);
  return tree;
}

// The bytes of the new file's chunks that the old file does not have.
std::uint64_t missing_bytes(const std::string& old_bytes, const std::string& new_bytes) {
  std::vector<Chunk> old_chunks;
  std::vector<Chunk> new_chunks;
  EXPECT_TRUE(chunk_bytes(old_bytes, kDefaultChunkParams, old_chunks));
  EXPECT_TRUE(chunk_bytes(new_bytes, kDefaultChunkParams, new_chunks));
  std::set<os::Sha256Digest> have;
  for (const Chunk& c : old_chunks) have.insert(c.sha256);
  std::uint64_t missing = 0;
  for (const Chunk& c : new_chunks) missing += have.count(c.sha256) == 0 ? c.length : 0;
  return missing;
}

std::size_t count_of(const std::string& text, const std::string& line) {
  std::size_t n = 0;
  for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
  return n;
}

class UpdateDeltaTest : public UpdateRunTest {
 protected:
  UpdateDeltaTest() { chunk_globs_ = {kBig}; }

  // A client at release `from`, and the newest release published; `packed`: the large file is
  // also packed (whole downloads use the packed file, ranges the plain copy).
  void client_at(int from, bool packed = false) {
    remove_all(client_.path());
    make_dirs(client_.path());
    std::vector<std::string> pack = {"Corvane.exe", "data/ngtables/*.bin"};
    if (packed) pack.push_back(kBig);
    publish(release_of(from), "1.0.0", "", pack);
    ASSERT_EQ(run(), kUpdated) << console_;
    publish(release_of(2), "3.0.0", "", pack);
    server_.reset_counters();
  }
  test_cdn::PathCounters ranges() const { return server_.counters("/release/" + plain_file_url_path(entry(kBig))); }
  std::wstring index_file() const {
    return work_ / (L"cdn/release/" + os::from_utf8(chunk_index_url_path(entry(kBig))));
  }
};

TEST_F(UpdateDeltaTest, FromEitherOlderReleaseOnlyTheMissingChunksTravel) {
  for (const int from : {0, 1}) {
    SCOPED_TRACE(from);
    client_at(from, from == 0);
    ASSERT_EQ(run(), kUpdated) << console_;
    EXPECT_EQ(without_staging(client_tree()), release_of(2)) << describe(client_tree());
    EXPECT_FALSE(staging_exists());
    const std::uint64_t missing = missing_bytes(big_file(from), big_file(2));
    EXPECT_GT(missing, 0u);
    // The missing chunks and the one byte of the range probe; never a whole download.
    EXPECT_EQ(ranges().body_bytes, missing + 1);
    EXPECT_EQ(ranges().requests, ranges().ranged_requests);
    if (entry(kBig).packed_size != 0) EXPECT_EQ(fetched(kBig).requests, 0u) << "fetched whole";
    EXPECT_EQ(count_of(console_, kFallbackLine), 0u) << console_;
    EXPECT_NE(console_.find("[*] Obnovlenie: zagruzheno "), std::string::npos) << console_;
    // An unchanged release fetches no range at all.
    server_.reset_counters();
    ASSERT_EQ(run(), kUpToDate) << console_;
    EXPECT_EQ(ranges().requests, 0u);
  }
}

TEST_F(UpdateDeltaTest, AnyFailureOfTheDeltaFetchesTheFileWholeOnceWithALine) {
  const auto rewrite_index = [&](bool keep_hash_true) {
    std::string bytes;
    ASSERT_TRUE(os::read_file(index_file(), bytes));
    ChunkIndex index;
    ASSERT_TRUE(read_chunk_index(bytes, entry(kBig).size, index));
    index.chunks.back().length += 1;  // the lengths no longer add up to the file
    bytes = write_chunk_index(index);
    ASSERT_EQ(os::write_file(index_file(), bytes), os::kErrorSuccess);
    if (!keep_hash_true) return;
    std::vector<ManifestFile> files = files_;
    for (ManifestFile& f : files) {
      if (f.path != kBig) continue;
      std::string hex;
      ASSERT_TRUE(sha256_file(index_file(), hex));
      f.chunks_sha256 = hex;
      f.chunks_size = static_cast<std::uint32_t>(bytes.size());
    }
    publish_manifest(tools::manifest_text("3.0.0", "", files));
  };
  using test_cdn::FaultKind;
  // Where this build cannot pack, the whole download comes from the same path, unranged.
  const std::string range_path = "/release/files/bin/world.pak";
  const struct {
    const char* name;
    std::function<void()> sabotage;
    bool changes_release;  // the release is published afresh afterwards
  } cases[] = {
      {"ranges answered 404", [&] { server_.add_fault({.kind = FaultKind::kStatus, .path = range_path, .status = 404, .only_ranged = true}); }, false},
      {"ranges answered whole", [&] { server_.add_fault({.kind = FaultKind::kIgnoreRange, .path = range_path}); }, false},
      {"another range answered", [&] { server_.add_fault({.kind = FaultKind::kOtherRange, .path = range_path, .bytes = 70000}); }, false},
      {"a chunk that lies", [&] { server_.add_fault({.kind = FaultKind::kFlipByte, .path = range_path, .bytes = 2620000, .only_ranged = true}); }, false},
      {"index missing", [&] { (void)os::delete_file(index_file()); }, true},
      {"index of another hash", [&] { rewrite_index(false); }, true},
      {"index whose chunks do not add up", [&] { rewrite_index(true); }, true},
  };
  // One client at the older release, put back before every case.
  client_at(1, true);
  const Tree older = client_tree();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    remove_all(client_.path());
    make_dirs(client_.path());
    for (const auto& [path, content] : older) put_client_file(path, content);
    server_.reset_counters();
    c.sabotage();
    ASSERT_EQ(run(), kUpdated) << console_;
    server_.clear_faults();
    EXPECT_EQ(without_staging(client_tree()), release_of(2)) << describe(client_tree());
    EXPECT_EQ(count_of(console_, kFallbackLine), 1u) << console_;
    EXPECT_EQ(fetched(kBig).requests - fetched(kBig).ranged_requests, 1u) << "one whole download";
    // Besides the whole download: at most the missing chunks, or what a server that ignores ranges
    // pushes at the range probe before the connection goes.
    const std::uint64_t whole = entry(kBig).packed_size != 0 ? 0 : entry(kBig).size;  // on the same path
    EXPECT_LE(ranges().body_bytes,
              whole + std::max<std::uint64_t>(missing_bytes(big_file(1), big_file(2)), entry(kBig).size));
    if (c.changes_release) publish(release_of(2), "3.0.0", "", {"Corvane.exe", "data/ngtables/*.bin", kBig});
  }
}

// Ends the run on its third progress report, as a crash would: nothing after it is recorded.
struct StopOnThirdReport {
  int calls = 0;
  static void report(void* context, std::uint64_t, std::uint64_t, std::uint32_t, std::uint32_t) {
    if (++static_cast<StopOnThirdReport*>(context)->calls == 3) throw 7;
  }
};

TEST_F(UpdateDeltaTest, ChunksFetchedBeforeARunEndedAreNotFetchedAgain) {
  client_at(0);
  // The probe and the largest range come at once; every later range crawls, so that the run
  // ends with the first range recorded and the others not.
  server_.add_fault({.kind = test_cdn::FaultKind::kSlowBody, .path = "/release/files/bin/world.pak",
                     .bytes_per_second = 50000, .skip = 2});
  StopOnThirdReport stop;
  ASSERT_EQ(run({&stop, &StopOnThirdReport::report}), kFailed) << console_;
  const std::uint64_t first_run = ranges().body_bytes;
  server_.clear_faults();
  server_.reset_counters();
  ASSERT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(without_staging(client_tree()), release_of(2)) << describe(client_tree());
  const std::uint64_t missing = missing_bytes(big_file(0), big_file(2));
  EXPECT_GT(first_run, 1u);
  EXPECT_LT(ranges().body_bytes, missing + 1) << "nothing was kept from the run that ended";
  EXPECT_EQ(count_of(console_, kFallbackLine), 0u) << console_;
}

}  // namespace
}  // namespace corvane::test
