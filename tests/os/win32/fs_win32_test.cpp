// The file calls against the real Windows file system: sharing, links, attributes, append and
// positioned writes, reservations and mappings.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "os/file.h"
#include "os/fs.h"
#include "os/mapped_file.h"
#include "os/text.h"
#include "support/links.h"
#include "support/temp_dir.h"
#include "support/wine_win32.h"

namespace corvane::os {
namespace {

using test::TempDir;

// A handle the test holds on `path` with the given sharing, closed when it goes.
class Held {
 public:
  Held(const std::wstring& path, DWORD access, DWORD share)
      : h_(::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~Held() {
    if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

// "File busy": the system refuses with a sharing violation or, for some calls, access denied.
bool is_busy(ErrorCode e) { return e == kErrorSharingViolation || e == kErrorAccessDenied; }

TEST(FsWin32, AFileHeldWithoutSharingCannotBeMovedCopiedOrDeleted) {
  TempDir dir;
  const std::wstring held_path = dir / L"Corvane.exe";
  test::write_text(held_path, "running");
  test::write_text(dir / L"new", "new");
  {
    Held held(held_path, GENERIC_READ, 0);
    ASSERT_TRUE(held.ok());
    EXPECT_EQ(move_file(held_path, held_path + L".crvnold", kMoveReplaceExisting), kErrorSharingViolation);
    EXPECT_TRUE(is_busy(move_file(dir / L"new", held_path, kMoveReplaceExisting | kMoveWriteThrough)));
    EXPECT_TRUE(is_busy(copy_file(dir / L"new", held_path, false)));
    EXPECT_EQ(copy_file(held_path, dir / L"copy", false), kErrorSharingViolation);
    EXPECT_EQ(delete_file(held_path), kErrorSharingViolation);
    File reader;
    EXPECT_EQ(reader.open(held_path, OpenMode::ReadExisting), kErrorSharingViolation);
    // Nothing moved: the new file is still where it was, and no backup or copy appeared.
    EXPECT_TRUE(file_info(dir / L"new"));
    EXPECT_FALSE(file_info(held_path + L".crvnold"));
    EXPECT_FALSE(file_info(dir / L"copy"));
  }
  EXPECT_EQ(test::read_text(held_path), "running");
  EXPECT_EQ(move_file(held_path, held_path + L".crvnold", kMoveReplaceExisting), kErrorSuccess);
}

TEST(FsWin32, OpenFilesShareReadingOnly) {
  TempDir dir;
  const std::wstring path = dir / L"staged.raw";
  File file;
  ASSERT_EQ(file.open(path, OpenMode::ReadWriteAlways), kErrorSuccess);
  EXPECT_TRUE(Held(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE).ok());
  EXPECT_FALSE(Held(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE).ok());
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(delete_file(path), kErrorSharingViolation);
  file.close();
  EXPECT_EQ(delete_file(path), kErrorSuccess);
}

TEST(FsWin32, ReadOnlyFilesNeedTheirAttributesCleared) {
  TempDir dir;
  const std::wstring path = dir / L"locked.dll";
  test::write_text(path, "ro");
  ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(file_info(path));
  EXPECT_TRUE(file_info(path)->read_only);
  EXPECT_EQ(delete_file(path), kErrorAccessDenied);
  EXPECT_EQ(set_normal_attributes(path), kErrorSuccess);
  // Windows reports FILE_ATTRIBUTE_NORMAL, Wine FILE_ATTRIBUTE_ARCHIVE: read-only and hidden are
  // gone either way.
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  EXPECT_EQ(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), 0u);
  EXPECT_EQ(delete_file(path), kErrorSuccess);
}

TEST(FsWin32, DirectoryLinksAreReportedAndRemovedAsLinks) {
  TempDir dir;
  test::make_dirs(dir / L"target/inner");
  test::write_text(dir / L"target/inner/keep.txt", "precious");
  if (!test::make_link(dir / L"data", dir / L"target", /*directory=*/true)) {
    GTEST_SKIP() << "this system makes neither a directory symbolic link nor a junction";
  }
  const auto info = file_info(dir / L"data");
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->is_link);
  EXPECT_TRUE(info->is_directory);
  std::vector<DirEntry> entries;
  ASSERT_TRUE(list_directory(dir.path(), entries));
  for (const DirEntry& e : entries) EXPECT_EQ(e.info.is_link, e.name == L"data") << to_utf8(e.name);
  EXPECT_EQ(remove_directory(dir / L"data"), kErrorSuccess);
  EXPECT_FALSE(file_info(dir / L"data"));
  EXPECT_EQ(test::read_text(dir / L"target/inner/keep.txt"), "precious");
  EXPECT_EQ(remove_directory(dir / L"target"), kErrorDirNotEmpty);
}

TEST(FsWin32, NamesWithANulAreRefused) {
  TempDir dir;
  test::write_text(dir / L"a", "x");
  const std::wstring with_nul = dir / L"a" + std::wstring(1, L'\0') + L"b";
  EXPECT_FALSE(file_info(with_nul));
  EXPECT_EQ(delete_file(with_nul), static_cast<ErrorCode>(ERROR_INVALID_NAME));
  EXPECT_EQ(move_file(with_nul, dir / L"c", kMoveReplaceExisting), static_cast<ErrorCode>(ERROR_INVALID_NAME));
  File file;
  EXPECT_EQ(file.open(with_nul, OpenMode::WriteTruncate), static_cast<ErrorCode>(ERROR_INVALID_NAME));
  EXPECT_EQ(test::read_text(dir / L"a"), "x");
}

TEST(FsWin32, AppendedRecordsLandAtTheEndAndReadersMayLook) {
  TempDir dir;
  const std::wstring path = dir / L"h.parts";
  test::write_text(path, "0000");
  File record;
  ASSERT_EQ(record.open(path, OpenMode::AppendAlways), kErrorSuccess);
  ASSERT_EQ(record.write("1111", 4), kErrorSuccess);
  EXPECT_TRUE(Held(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE).ok());
  // One appender at a time: a second one is refused while the first is open.
  File second;
  EXPECT_EQ(second.open(path, OpenMode::AppendAlways), kErrorSharingViolation);
  record.close();
  // A new handle starts at offset 0, yet its records go to the end.
  ASSERT_EQ(record.open(path, OpenMode::AppendAlways), kErrorSuccess);
  ASSERT_EQ(record.write("2222", 4), kErrorSuccess);
  record.close();
  EXPECT_EQ(test::read_text(path), "000011112222");
}

TEST(FsWin32, ThreadsWriteDisjointRangesOfOneHandle) {
  TempDir dir;
  constexpr std::size_t kPart = 1 << 16;
  constexpr int kParts = 8;
  File file;
  ASSERT_EQ(file.open(dir / L"big.raw", OpenMode::ReadWriteAlways), kErrorSuccess);
  ASSERT_EQ(file.set_size(kPart * kParts), kErrorSuccess);
  std::vector<std::thread> writers;
  std::vector<ErrorCode> results(kParts, kErrorGenFailure);
  for (int i = 0; i < kParts; ++i) {
    writers.emplace_back([&, i] {
      const std::string bytes(kPart, static_cast<char>('a' + i));
      // Small pieces, so that the writers interleave.
      ErrorCode e = kErrorSuccess;
      for (std::size_t at = 0; at < kPart && e == kErrorSuccess; at += 4096) {
        e = file.write_at(static_cast<std::uint64_t>(i) * kPart + at, bytes.data() + at, 4096);
      }
      results[i] = e;
    });
  }
  for (std::thread& t : writers) t.join();
  file.close();
  for (const ErrorCode e : results) EXPECT_EQ(e, kErrorSuccess);
  const std::string text = test::read_text(dir / L"big.raw");
  ASSERT_EQ(text.size(), kPart * kParts);
  for (int i = 0; i < kParts; ++i) {
    EXPECT_EQ(text.substr(i * kPart, kPart), std::string(kPart, static_cast<char>('a' + i))) << i;
  }
}

TEST(FsWin32, ReserveTakesTheBlocksAndNeverShortensTheFile) {
  TempDir dir;
  File file;
  ASSERT_EQ(file.open(dir / L"h.lzms", OpenMode::ReadWriteAlways), kErrorSuccess);
  ASSERT_EQ(file.reserve(3u << 20), kErrorSuccess);
  std::uint64_t size = 0;
  ASSERT_TRUE(file.size(size));
  EXPECT_EQ(size, 3u << 20);
  FILE_STANDARD_INFO standard{};
  ASSERT_TRUE(::GetFileInformationByHandleEx(reinterpret_cast<HANDLE>(file.native()), FileStandardInfo, &standard,
                                             sizeof standard));
  // Wine has no allocation call and extends files sparsely, so only Windows shows the blocks.
  if (!test::running_under_wine()) {
    EXPECT_GE(standard.AllocationSize.QuadPart, 3ll << 20);
  }
  ASSERT_EQ(file.write_at(5, "x", 1), kErrorSuccess);
  ASSERT_EQ(file.reserve(10), kErrorSuccess);
  ASSERT_TRUE(file.size(size));
  EXPECT_EQ(size, 3u << 20);
  ASSERT_EQ(file.set_size(6), kErrorSuccess);
  file.close();
  EXPECT_EQ(test::read_text(dir / L"h.lzms"), std::string("\0\0\0\0\0x", 6));
}

TEST(FsWin32, MappedFilesAreWrittenAndReadThroughTheirViews) {
  TempDir dir;
  const std::wstring path = dir / L"h.raw";
  constexpr std::size_t kSize = (5u << 20) + 3;
  {
    MappedFile out;
    ASSERT_EQ(out.create(path, kSize), kErrorSuccess);
    ASSERT_EQ(out.size(), kSize);
    for (std::size_t i = 0; i < kSize; i += 4093) out.data()[i] = static_cast<std::uint8_t>(i / 4093);
    out.data()[kSize - 1] = 0xEE;
  }
  MappedFile in;
  ASSERT_EQ(in.open_read(path), kErrorSuccess);
  ASSERT_EQ(in.size(), kSize);
  EXPECT_EQ(in.data()[4093 * 7], 7);
  EXPECT_EQ(in.data()[1], 0);
  EXPECT_EQ(in.data()[kSize - 1], 0xEE);
  // While the view exists the file cannot be replaced.
  test::write_text(dir / L"other", "o");
  EXPECT_NE(move_file(dir / L"other", path, kMoveReplaceExisting), kErrorSuccess);
  in.close();
  EXPECT_EQ(move_file(dir / L"other", path, kMoveReplaceExisting), kErrorSuccess);

  MappedFile empty;
  ASSERT_EQ(empty.create(dir / L"empty", 0), kErrorSuccess);
  EXPECT_EQ(empty.data(), nullptr);
  empty.close();
  ASSERT_EQ(empty.open_read(dir / L"empty"), kErrorSuccess);
  EXPECT_EQ(empty.size(), 0u);
  EXPECT_EQ(empty.open_read(dir / L"missing"), kErrorFileNotFound);
}

TEST(FsWin32, TheTemporaryFolderFollowsTmpAndEndsWithASeparator) {
  TempDir dir;
  {
    test::ScopedEnv tmp("TMP", dir.utf8());
    EXPECT_EQ(temp_dir(), dir.path() + L"\\");
  }
  const std::wstring usual = temp_dir();
  ASSERT_FALSE(usual.empty());
  EXPECT_EQ(usual.back(), L'\\');
  EXPECT_TRUE(file_info(usual) && file_info(usual)->is_directory);
}

TEST(FsWin32, ListingADriveRootWorks) {
  std::vector<DirEntry> entries;
  ASSERT_TRUE(list_directory(L"C:\\", entries));
  bool has_windows = false;
  for (const DirEntry& e : entries) has_windows = has_windows || (e.info.is_directory && e.name == L"windows") ||
                                                  (e.info.is_directory && e.name == L"Windows");
  EXPECT_TRUE(has_windows);
}

}  // namespace
}  // namespace corvane::os
