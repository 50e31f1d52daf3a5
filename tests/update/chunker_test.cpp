// Content-defined chunks and their index: cuts follow the content, not the offsets, and an index
// that does not describe the file exactly is refused.
#include <gtest/gtest.h>

#include <set>

#include "os/fs.h"
#include "support/temp_dir.h"
#include "support/test_content.h"
#include "update/chunk_index.h"
#include "update/chunker.h"

namespace corvane {
namespace {

std::vector<Chunk> chunks_of(const std::string& bytes) {
  std::vector<Chunk> chunks;
  EXPECT_TRUE(chunk_bytes(bytes, kDefaultChunkParams, chunks));
  return chunks;
}

std::set<std::string> digests_of(const std::vector<Chunk>& chunks) {
  std::set<std::string> out;
  for (const Chunk& c : chunks) out.emplace(reinterpret_cast<const char*>(c.sha256.data()), c.sha256.size());
  return out;
}

TEST(ChunkerTest, CutsFollowTheContentAfterAnEditUpstreamAndStayWithinTheBounds) {
  const std::string base = test::noise(3u << 20, 7);
  struct Edit {
    const char* name;
    std::string bytes;
  };
  const Edit edits[] = {
      {"insert", base.substr(0, 300000) + test::noise(777, 8) + base.substr(300000)},
      {"delete", base.substr(0, 300000) + base.substr(301234)},
      {"overwrite", base.substr(0, 300000) + test::noise(5000, 9) + base.substr(305000)},
  };
  const std::vector<Chunk> before = chunks_of(base);
  const std::set<std::string> before_digests = digests_of(before);
  for (const Edit& edit : edits) {
    SCOPED_TRACE(edit.name);
    const std::vector<Chunk> after = chunks_of(edit.bytes);
    // Only the chunks around the edit differ: at most a few of the ~96, whatever the shift.
    std::size_t changed = 0;
    for (const Chunk& c : after) {
      changed += before_digests.count(std::string(reinterpret_cast<const char*>(c.sha256.data()), 32)) == 0;
    }
    EXPECT_GE(after.size(), 30u);
    EXPECT_LE(changed, 3u);
    EXPECT_GE(changed, 1u);
    for (std::size_t i = 0; i + 1 < after.size(); ++i) {
      EXPECT_GE(after[i].length, kDefaultChunkParams.min_size);
      EXPECT_LE(after[i].length, kDefaultChunkParams.max_size);
    }
  }
  // Content without cuts (zeros) is cut at the maximum.
  const std::vector<Chunk> zeros = chunks_of(std::string(1u << 20, '\0'));
  ASSERT_EQ(zeros.size(), (1u << 20) / kDefaultChunkParams.max_size);
  for (const Chunk& c : zeros) EXPECT_EQ(c.length, kDefaultChunkParams.max_size);
}

TEST(ChunkerTest, AFileIsChunkedInOnePassAsItsBytesAre) {
  test::TempDir dir;
  // Longer than the reading buffer, and not a multiple of it.
  const std::string bytes = test::noise((5u << 20) + 12345, 3);
  const std::wstring path = dir / L"file.bin";
  ASSERT_EQ(os::write_file(path, bytes), os::kErrorSuccess);
  std::vector<Chunk> from_file;
  ASSERT_EQ(chunk_file(path, kDefaultChunkParams, from_file), os::kErrorSuccess);
  const std::vector<Chunk> from_memory = chunks_of(bytes);
  ASSERT_EQ(from_file.size(), from_memory.size());
  for (std::size_t i = 0; i < from_file.size(); ++i) {
    EXPECT_EQ(from_file[i].offset, from_memory[i].offset);
    EXPECT_EQ(from_file[i].length, from_memory[i].length);
    EXPECT_EQ(from_file[i].sha256, from_memory[i].sha256);
  }
  EXPECT_NE(chunk_file(dir / L"missing", kDefaultChunkParams, from_file), os::kErrorSuccess);
}

TEST(ChunkIndexTest, OnlyAnIndexThatDescribesTheFileExactlyIsRead) {
  const std::string bytes = test::noise(700000, 5);
  ChunkIndex index{kDefaultChunkParams, bytes.size(), chunks_of(bytes)};
  ASSERT_GE(index.chunks.size(), 3u);
  const std::string good = write_chunk_index(index);
  ChunkIndex read;
  ASSERT_TRUE(read_chunk_index(good, bytes.size(), read));
  ASSERT_EQ(read.chunks.size(), index.chunks.size());
  EXPECT_EQ(read.chunks.back().sha256, index.chunks.back().sha256);

  const auto put32 = [](std::string s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
    return s;
  };
  const std::size_t second = kChunkIndexHeaderSize + kChunkIndexEntrySize;  // the second entry
  const struct {
    const char* name;
    std::string bytes;
    std::uint64_t size;
  } bad[] = {
      {"another file's size", good, bytes.size() + 1},
      {"wrong magic", "X" + good.substr(1), bytes.size()},
      {"truncated", good.substr(0, good.size() - 1), bytes.size()},
      {"count above the entries", put32(good, 28, static_cast<std::uint32_t>(index.chunks.size() + 1)), bytes.size()},
      {"a length that overflows the file", put32(good, second + 8, 0xFFFFFFFFu), bytes.size()},
      {"a zero length", put32(good, second + 8, 0), bytes.size()},
      {"a gap", put32(good, second, static_cast<std::uint32_t>(index.chunks[1].offset + 1)), bytes.size()},
      {"an average that is no power of two", put32(good, 12, 60000), bytes.size()},
      {"a minimum below 4 KiB", put32(good, 8, 16), bytes.size()},
      {"header only", good.substr(0, kChunkIndexHeaderSize), bytes.size()},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(read_chunk_index(c.bytes, c.size, read));
  }
  // Lengths that add up to less than the file: the last chunk dropped and the count fixed.
  ChunkIndex shorter = index;
  shorter.chunks.pop_back();
  EXPECT_FALSE(read_chunk_index(write_chunk_index(shorter), bytes.size(), read));
}

}  // namespace
}  // namespace corvane
