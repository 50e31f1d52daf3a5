#include "update/verification.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "os/file.h"
#include "os/fs.h"
#include "os/sha256.h"
#include "os/text.h"
#include "release_builder/lzms_pack.h"
#include "support/process_io.h"
#include "support/temp_dir.h"
#include "update/lzms_frame.h"

namespace corvane {
namespace {

using test::TempDir;

constexpr char kEmptySha[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr char kAbcSha[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

std::string sha_of(const std::wstring& path) {
  std::string digest;
  EXPECT_TRUE(sha256_file(path, digest));
  return digest;
}

std::string text_content(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = "client file bytes "[(i * 5 + i / 131) % 18];
  return s;
}

// `content` as a packed file: LZMS chunks where this build can pack, else every chunk stored raw,
// which is a valid frame too (under Wine the Windows build has no compressor). Empty content is
// never packed; its frame is the header alone.
std::string packed(const std::string& content, std::uint64_t block = kLzmsMinBlockSize) {
  std::string frame;
  if (!content.empty() && tools::lzms_packing_available()) {
    EXPECT_TRUE(tools::pack_lzms(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()), block,
        frame));
    return frame;
  }
  const auto header = lzms_frame_header(content.size(), lzms_header_block_field(content.size(), block));
  frame.assign(reinterpret_cast<const char*>(header.data()), header.size());
  for (std::size_t offset = 0; offset < content.size(); offset += block) {
    const std::string chunk = content.substr(offset, block);
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<char>((chunk.size() >> (8 * i)) & 0xFF));
    frame += chunk;
  }
  return frame;
}

constexpr const char* kNoDecoder = "the system has no LZMS decompressor (Wine lacks the Compression API)";

std::uint64_t bytes_read() {
  const auto bytes = test::bytes_read_by_process();
  EXPECT_TRUE(bytes.has_value()) << "the system does not say how many bytes this process read";
  return bytes.value_or(0);
}

// A staged download in `dir` named after `entry`'s hash, as the download pool leaves it.
void stage(DownloadFile& file, const TempDir& dir, const ManifestFile& entry, bool is_packed) {
  const std::wstring base = dir / os::from_utf8(entry.sha256);
  file.packed = is_packed;
  file.raw_path = base + L".raw";
  file.data_path = is_packed ? base + L".lzms" : file.raw_path;
  file.parts_path = base + L".parts";
  file.size = is_packed ? entry.packed_size : entry.size;
}

TEST(Sha256File, KnownDigestsAsLowerCaseHex) {
  TempDir dir;
  test::write_text(dir / L"empty", "");
  test::write_text(dir / L"abc", "abc");
  EXPECT_EQ(sha_of(dir / L"empty"), kEmptySha);
  EXPECT_EQ(sha_of(dir / L"abc"), kAbcSha);
  // A file larger than the 1 MiB read buffer hashes the same as its bytes in one piece.
  const std::string big = text_content(1048576 * 2 + 3);
  test::write_text(dir / L"big", big);
  test::write_text(dir / L"big-copy", big);
  EXPECT_EQ(sha_of(dir / L"big"), sha_of(dir / L"big-copy"));
  EXPECT_NE(sha_of(dir / L"big"), kEmptySha);

  std::string digest = "stale";
  EXPECT_FALSE(sha256_file(dir / L"missing", digest));
  EXPECT_TRUE(digest.empty());
  test::make_dirs(dir / L"folder");
  EXPECT_FALSE(sha256_file(dir / L"folder", digest));
}

TEST(FileCurrency, SizeDecidesBeforeAnyByteIsRead) {
  TempDir client;
  const std::string content = text_content(4 << 20);
  test::write_text(client / L"Corvane.exe", content);
  ManifestFile entry{"Corvane.exe", sha_of(client / L"Corvane.exe"), static_cast<std::uint32_t>(content.size()), 0};

  const std::uint64_t before_match = bytes_read();
  EXPECT_TRUE(is_file_current(client.path(), entry));
  const std::uint64_t read_for_match = bytes_read() - before_match;
  if (read_for_match == 0) GTEST_SKIP() << "the system does not count the bytes a process reads (Wine)";
  EXPECT_GE(read_for_match, content.size());

  entry.size += 1;
  const std::uint64_t before_mismatch = bytes_read();
  EXPECT_FALSE(is_file_current(client.path(), entry));
  EXPECT_LT(bytes_read() - before_mismatch, std::uint64_t{1} << 20);
}

TEST(FileCurrency, ContentSizeAndPlaceAllCount) {
  TempDir client;
  test::make_dirs(client / L"bin");
  test::write_text(client / L"bin/a.dll", "hello world");
  ManifestFile entry{"bin/a.dll", sha_of(client / L"bin/a.dll"), 11, 0};
  EXPECT_TRUE(is_file_current(client.path(), entry));

  test::write_text(client / L"bin/a.dll", "hello worle");  // same size, last byte differs
  EXPECT_FALSE(is_file_current(client.path(), entry));

  ManifestFile missing{"bin/none.dll", kEmptySha, 0, 0};
  EXPECT_FALSE(is_file_current(client.path(), missing));

  // The uninstaller's manifest path is checked at the top of the client folder.
  test::write_text(client / L"uninstall.exe", "abc");
  EXPECT_TRUE(is_file_current(client.path(), ManifestFile{"bin/uninstall.exe", kAbcSha, 3, 0}));
  // A folder has no size of a file.
  test::make_dirs(client / L"bin/dir.dll");
  EXPECT_FALSE(has_file_size(client / L"bin/dir.dll", 0));
  EXPECT_FALSE(is_file_current(client.path(), ManifestFile{"bin/dir.dll", kEmptySha, 0, 0}));
}

TEST(FileCurrency, FilesOfFourGibibytesOrMoreNeverMatch) {
  TempDir client;
  {
    os::File file;
    ASSERT_EQ(file.open(client / L"Corvane.exe", os::OpenMode::WriteTruncate), os::kErrorSuccess);
    ASSERT_EQ(file.set_size((std::uint64_t{1} << 32) + 3), os::kErrorSuccess);  // sparse
  }
  EXPECT_FALSE(has_file_size(client / L"Corvane.exe", 3));
  EXPECT_FALSE(is_file_current(client.path(), ManifestFile{"Corvane.exe", kEmptySha, 3, 0}));
}

TEST(FileCurrency, ManyFilesOnSeveralThreadsAnswerInListOrder) {
  TempDir client;
  test::make_dirs(client / L"bin");
  std::vector<ManifestFile> files;
  std::vector<std::uint8_t> expected;
  for (std::uint32_t i = 0; i < 40; ++i) {
    // Sizes that neither rise nor fall with the list order, so the largest-first claiming differs
    // from it.
    const std::uint32_t size = 1000 + (i * 7919u) % 40 * 5000;
    const std::string name = "bin/f" + std::to_string(i) + ".dll";
    const std::wstring path = client / os::from_utf8(name);
    const std::string content = text_content(size + i).substr(i);
    test::write_text(path, content);
    ManifestFile entry{name, sha_of(path), size, 0};
    switch (i % 5) {
      case 1: test::write_text(path, content.substr(0, size - 1) + "#"); break;  // same size, other bytes
      case 2: test::write_text(path, content + "+"); break;                      // one byte longer
      case 3: (void)os::delete_file(path); break;
      default: break;
    }
    files.push_back(entry);
    expected.push_back(i % 5 == 0 || i % 5 == 4 ? 1 : 0);
  }
  for (const unsigned threads : {0u, 1u, 2u, 3u, 8u, 64u}) {
    EXPECT_EQ(check_files_current(client.path(), files, threads), expected) << threads << " threads";
  }
  EXPECT_TRUE(check_files_current(client.path(), {}, 4).empty());
}

TEST(UnpackLzms, WritesExactlyTheContentAtItsSize) {
  if (!lzms_decoding_available()) GTEST_SKIP() << kNoDecoder;
  TempDir dir;
  for (const std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{3 * kLzmsMinBlockSize + 1}}) {
    SCOPED_TRACE(size);
    const std::string content = text_content(size);
    const std::string frame = packed(content);
    test::write_text(dir / L"in.lzms", frame);
    test::write_text(dir / L"out.raw", "old content that is longer than some outputs");
    ASSERT_TRUE(unpack_lzms(dir / L"in.lzms", static_cast<std::uint32_t>(frame.size()), dir / L"out.raw",
                            static_cast<std::uint32_t>(size)));
    EXPECT_EQ(test::read_text(dir / L"out.raw"), content);
  }
}

TEST(UnpackLzms, RefusesAFileOfAnotherLengthOrAnUnwritableOutput) {
  TempDir dir;
  const std::string content = text_content(10000);
  const std::string frame = packed(content);
  test::write_text(dir / L"in.lzms", frame);
  const auto n = static_cast<std::uint32_t>(frame.size());
  EXPECT_FALSE(unpack_lzms(dir / L"in.lzms", n + 1, dir / L"out", 10000));
  EXPECT_FALSE(unpack_lzms(dir / L"in.lzms", n - 1, dir / L"out", 10000));
  EXPECT_FALSE(unpack_lzms(dir / L"missing.lzms", n, dir / L"out", 10000));
  EXPECT_FALSE(os::file_info(dir / L"out")) << "a refused frame creates no output";
  {
    test::ScopedFsFault full([](os::FsOp op, std::wstring_view, std::wstring_view) {
      return op == os::FsOp::OpenForWrite ? os::kErrorDiskFull : os::kErrorSuccess;
    });
    EXPECT_FALSE(unpack_lzms(dir / L"in.lzms", n, dir / L"out", 10000));
  }
  // A frame that passes every check unpacks, or, where the system has no decompressor, fails
  // without harm.
  EXPECT_EQ(unpack_lzms(dir / L"in.lzms", n, dir / L"out", 10000), lzms_decoding_available());
}

TEST(VerifyDownload, UnpackedDownloadIsHashedInPlace) {
  TempDir staging;
  const std::string content = text_content(3000);
  test::write_text(staging / L"c", content);
  ManifestFile entry{"bin/a.dll", sha_of(staging / L"c"), 3000, 0};
  DownloadFile file;
  stage(file, staging, entry, false);
  test::write_text(file.raw_path, content);
  EXPECT_TRUE(verify_download(file, entry));
  std::vector<os::DirEntry> entries;
  ASSERT_TRUE(os::list_directory(staging.path(), entries));
  EXPECT_EQ(entries.size(), 2u) << "no second copy is made";

  test::write_text(file.raw_path, content.substr(0, 2999) + "#");
  EXPECT_FALSE(verify_download(file, entry));
}

TEST(VerifyDownload, ADigestTakenOnArrivalSparesTheReadAndDecidesAlike) {
  TempDir staging;
  const std::string content = text_content(4 << 20);
  test::write_text(staging / L"c", content);
  const ManifestFile entry{"bin/a.dll", sha_of(staging / L"c"), static_cast<std::uint32_t>(content.size()), 0};
  DownloadFile file;
  stage(file, staging, entry, false);
  test::write_text(file.raw_path, content);
  const auto arrived = [&](const std::string& bytes) {
    os::Sha256 hash;
    ASSERT_TRUE(hash.begin() && hash.update(bytes.data(), bytes.size()) && hash.finish(file.arrival.digest));
    file.arrival.hashed = bytes.size();
    file.arrival.complete = true;
  };

  arrived(content);
  std::uint64_t before = bytes_read();
  EXPECT_TRUE(verify_download(file, entry));
  EXPECT_LT(bytes_read() - before, std::uint64_t{1} << 20);

  // The wire delivered other bytes than the manifest promises.
  std::string corrupt = content;
  corrupt[12345] = '!';
  arrived(corrupt);
  EXPECT_FALSE(verify_download(file, entry));

  // A part was written again after it may have been hashed: the file itself is read and decides.
  file.arrival.spoiled = true;
  before = bytes_read();
  EXPECT_TRUE(verify_download(file, entry));
  const std::uint64_t read_again = bytes_read() - before;
  test::write_text(file.raw_path, corrupt);
  EXPECT_FALSE(verify_download(file, entry));
  if (read_again == 0) GTEST_SKIP() << "the system does not count the bytes a process reads (Wine)";
  EXPECT_GE(read_again, content.size());
}

TEST(VerifyDownload, PackedDownloadIsUnpackedToRawAndChecked) {
  TempDir staging;
  const std::string content = text_content(9000);
  test::write_text(staging / L"c", content);
  const std::string frame = packed(content);
  ManifestFile entry{"bin/a.dll", sha_of(staging / L"c"), 9000, static_cast<std::uint32_t>(frame.size())};
  DownloadFile file;
  stage(file, staging, entry, true);
  test::write_text(file.data_path, frame);
  // The manifest's size off by one either way: the frame does not fit.
  for (const std::uint32_t size : {8999u, 9001u}) {
    ManifestFile other = entry;
    other.size = size;
    EXPECT_FALSE(verify_download(file, other)) << size;
  }
  if (!lzms_decoding_available()) GTEST_SKIP() << kNoDecoder;
  ASSERT_TRUE(verify_download(file, entry));
  EXPECT_EQ(test::read_text(file.raw_path), content);
  // The right length with other content.
  ManifestFile other_content = entry;
  other_content.sha256 = kAbcSha;
  EXPECT_FALSE(verify_download(file, other_content));
}

TEST(VerifyDownload, ChunkThatDecodesToAnotherLengthFails) {
  // A frame whose header was changed to promise one byte more than its single compressed chunk
  // holds; the manifest agrees with the header, only the content hash can tell.
  TempDir staging;
  const std::string content = text_content(5000);
  std::string frame = packed(content);
  const auto header = lzms_frame_header(5001, 5001);
  frame.replace(0, header.size(), reinterpret_cast<const char*>(header.data()), header.size());
  test::write_text(staging / L"c", content);
  ManifestFile entry{"bin/a.dll", sha_of(staging / L"c"), 5001, static_cast<std::uint32_t>(frame.size())};
  DownloadFile file;
  stage(file, staging, entry, true);
  test::write_text(file.data_path, frame);
  EXPECT_FALSE(verify_download(file, entry));
}

TEST(DiscardDownload, RemovesTheThreeStagingFilesOfThatContentOnly) {
  TempDir staging;
  ManifestFile entry{"bin/a.dll", std::string(64, 'a'), 10, 20};
  ManifestFile other{"bin/b.dll", std::string(64, 'b'), 10, 0};
  DownloadFile file;
  DownloadFile other_file;
  stage(file, staging, entry, true);
  stage(other_file, staging, other, false);
  for (const std::wstring* p : {&file.data_path, &file.raw_path, &file.parts_path, &other_file.raw_path}) {
    test::write_text(*p, "x");
  }
  discard_download(file);
  EXPECT_FALSE(os::file_info(file.data_path));
  EXPECT_FALSE(os::file_info(file.raw_path));
  EXPECT_FALSE(os::file_info(file.parts_path));
  EXPECT_TRUE(os::file_info(other_file.raw_path));
  discard_download(file);  // nothing left: no failure to report
}

}  // namespace
}  // namespace corvane
