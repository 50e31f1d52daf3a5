#include "net/resume.h"

#include <gtest/gtest.h>

#include <string>

#include "os/fs.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::read_text;
using test::write_text;

std::string u32le(std::initializer_list<std::uint32_t> values) {
  std::string out;
  for (const std::uint32_t v : values) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
  }
  return out;
}

void describe(DownloadFile& file, const test::TempDir& dir, std::uint32_t size, std::uint32_t part_size) {
  file.data_path = dir / L"h.raw";
  file.raw_path = file.data_path;
  file.parts_path = dir / L"h.parts";
  file.size = size;
  file.part_size = part_size;
  file.part_count = part_size != 0 ? (std::uint64_t{size} + part_size - 1) / part_size : 1;
}

std::uint64_t file_size(std::wstring_view path) {
  const auto info = os::file_info(path);
  return info ? info->size : ~0ull;
}

TEST(ReadPartsFile, TakesOnlyWholeRecordsOfSaneLength) {
  test::TempDir dir;
  const std::wstring path = dir / L"x.parts";
  EXPECT_TRUE(read_parts_file(path).empty());  // missing
  write_text(path, "");
  EXPECT_TRUE(read_parts_file(path).empty());
  write_text(path, std::string(3, '\0'));
  EXPECT_TRUE(read_parts_file(path).empty());
  write_text(path, std::string(1048576, '\0'));
  EXPECT_TRUE(read_parts_file(path).empty());
  write_text(path, std::string(1048572, '\0'));
  EXPECT_EQ(read_parts_file(path).size(), 262143u);

  write_text(path, std::string("\x00\x00\x80\x00\x00\x00\x00\x01\x04\x03\x02\x01", 12));
  const std::vector<std::uint32_t> want{8388608, 16777216, 0x01020304};
  EXPECT_EQ(read_parts_file(path), want);
  // A power cut during an append tears the last integer: the whole ones before it still count.
  write_text(path, std::string("\x00\x00\x80\x00\x00\x00\x00\x01\x04\x03\x02\x01\x00\x00", 14));
  EXPECT_EQ(read_parts_file(path), want);
}

TEST(OpenDownloadFile, FreshStartSizesTheStagingFileAndWritesTheRecord) {
  test::TempDir dir;
  DownloadFile file;
  describe(file, dir, 20971520, 8388608);
  ASSERT_EQ(open_download_file(file), os::kErrorSuccess);
  EXPECT_TRUE(file.handle.is_open());
  EXPECT_TRUE(file.done_offsets.empty());
  EXPECT_EQ(file_size(file.data_path), 20971520u);
  EXPECT_EQ(read_text(file.parts_path), u32le({8388608}));
}

TEST(OpenDownloadFile, ResumesOnlyAMatchingStagingFileAndRecord) {
  test::TempDir dir;
  DownloadFile probe;
  describe(probe, dir, 20971520, 8388608);
  const std::string staged(20971520, 'x');

  // A matching pair: the recorded parts are taken over and nothing is rewritten but a torn last
  // integer, which is cut off before anything is appended after it.
  for (const std::string& torn : {std::string(), std::string("\x00\x01", 2)}) {
    SCOPED_TRACE(torn.size());
    write_text(probe.data_path, staged);
    write_text(probe.parts_path, u32le({8388608, 16777216, 0}) + torn);
    DownloadFile file;
    describe(file, dir, 20971520, 8388608);
    ASSERT_EQ(open_download_file(file), os::kErrorSuccess);
    EXPECT_EQ(file.done_offsets, (std::set<std::uint32_t>{0, 16777216}));
    EXPECT_EQ(read_text(file.parts_path), u32le({8388608, 16777216, 0}));
  }
  // Each of these starts afresh with a record of the current part size alone.
  struct Case {
    const char* what;
    std::uint32_t staged_size;
    std::string record;
    std::uint32_t part_size;
  };
  const Case cases[] = {
      {"staging file too short", 20971519, u32le({8388608, 0}), 8388608},
      {"record made without ranges", 20971520, u32le({0, 0}), 8388608},
      {"record made with ranges, run without", 20971520, u32le({8388608, 0}), 0},
      {"offset that starts no part", 20971520, u32le({8388608, 0, 4096}), 8388608},
      {"offset past the end", 20971520, u32le({8388608, 25165824}), 8388608},
      {"record of 6 bytes", 20971520, std::string(6, '\0'), 8388608},
      {"no record at all", 20971520, std::string(), 8388608},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write_text(probe.data_path, std::string(c.staged_size, 'x'));
    if (c.record.empty()) {
      ASSERT_EQ(os::delete_file(probe.parts_path), os::kErrorSuccess);
    } else {
      write_text(probe.parts_path, c.record);
    }
    DownloadFile file;
    describe(file, dir, 20971520, c.part_size);
    ASSERT_EQ(open_download_file(file), os::kErrorSuccess);
    EXPECT_TRUE(file.done_offsets.empty());
    EXPECT_EQ(file_size(file.data_path), 20971520u);
    EXPECT_EQ(read_text(file.parts_path), u32le({c.part_size}));
  }
}

TEST(OpenDownloadFile, ReportsTheErrorOfTheStepThatFailed) {
  test::TempDir dir;
  for (const wchar_t* failing : {L"h.raw", L"h.parts"}) {
    DownloadFile file;
    describe(file, dir, 1000, 0);
    const std::wstring target = dir / failing;
    test::ScopedFsFault fault([&](os::FsOp op, std::wstring_view path, std::wstring_view) {
      return op == os::FsOp::OpenForWrite && path == target ? os::kErrorAccessDenied : os::kErrorSuccess;
    });
    EXPECT_EQ(open_download_file(file), os::kErrorAccessDenied);
  }
}

TEST(MarkPartDone, RecordsEachPartOnceInCompletionOrderAndCountsTheFileOnce) {
  test::TempDir dir;
  FileTable table;
  DownloadFile& file = table.files.try_emplace("big.bin").first->second;
  describe(file, dir, 20971520, 8388608);
  ASSERT_EQ(open_download_file(file), os::kErrorSuccess);

  mark_part_done(table, file, 16777216);
  mark_part_done(table, file, 0);
  mark_part_done(table, file, 16777216);  // a retry after its last byte had arrived
  EXPECT_EQ(table.files_done.load(), 0u);
  mark_part_done(table, file, 8388608);
  mark_part_done(table, file, 8388608);
  EXPECT_EQ(table.files_done.load(), 1u);
  EXPECT_EQ(read_text(file.parts_path), u32le({8388608, 16777216, 0, 8388608}));

  // A failing append is ignored: the part stays complete for this run.
  DownloadFile& small = table.files.try_emplace("small.bin").first->second;
  small.data_path = dir / L"s.raw";
  small.parts_path = dir / L"s.parts";
  small.size = 10;
  small.part_count = 1;
  ASSERT_EQ(open_download_file(small), os::kErrorSuccess);
  {
    test::ScopedFsFault fault([&](os::FsOp, std::wstring_view path, std::wstring_view) {
      return path == small.parts_path ? os::kErrorDiskFull : os::kErrorSuccess;
    });
    mark_part_done(table, small, 0);
  }
  EXPECT_EQ(small.done_offsets.count(0), 1u);
  EXPECT_EQ(table.files_done.load(), 2u);
  EXPECT_EQ(read_text(small.parts_path), u32le({0}));
}

}  // namespace
}  // namespace corvane
