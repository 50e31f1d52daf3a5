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
#include "os/win32/win32_common.h"
#include "support/fs_extras.h"
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

TEST(FsWin32, FilesOpenForWritingShareOnlyReading) {
  TempDir dir;
  const std::wstring path = dir / L"staged.raw";
  File file;
  ASSERT_EQ(file.open(path, OpenMode::ReadWriteAlways), kErrorSuccess);
  EXPECT_TRUE(Held(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE).ok());
  EXPECT_FALSE(Held(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE).ok());
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(delete_file(path), kErrorSharingViolation);
  file.close();

  // The unpacked output shares nothing while it is being written.
  ASSERT_EQ(file.open(path, OpenMode::ReadWriteTruncate), kErrorSuccess);
  EXPECT_FALSE(Held(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE).ok());
  file.close();
  EXPECT_EQ(delete_file(path), kErrorSuccess);
}

TEST(FsWin32, AFileBeingReadMayStillBeMovedAside) {
  TempDir dir;
  const std::wstring path = dir / L"Corvane.exe";
  test::write_text(path, "client");
  File reader;
  ASSERT_EQ(reader.open(path, OpenMode::ReadExisting), kErrorSuccess);
  EXPECT_EQ(move_file(path, path + L".crvnold", kMoveReplaceExisting), kErrorSuccess);
  char buffer[16] = {};
  std::size_t got = 0;
  ASSERT_EQ(reader.read(buffer, sizeof buffer, got), kErrorSuccess);
  EXPECT_EQ(std::string(buffer, got), "client");
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

TEST(FsWin32, RegularFileOpensRefuseLinksFoldersDevicesAndPipes) {
  TempDir dir;
  test::write_text(dir / L"outside", "outside");
  test::write_text(dir / L"plain", "plain");
  test::make_dirs(dir / L"folder");
  const bool file_link = test::make_link(dir / L"link", dir / L"outside", /*directory=*/false);
  const bool folder_link = test::make_link(dir / L"junction", dir / L"folder", /*directory=*/true);
  const std::wstring pipe_name = L"\\\\.\\pipe\\corvane-regular-file-" + std::to_wstring(::GetCurrentProcessId());
  const OpenMode modes[] = {OpenMode::ReadExisting, OpenMode::ReadWriteAlways, OpenMode::WriteTruncate,
                            OpenMode::ReadWriteTruncate, OpenMode::AppendAlways};
  File file;
  for (const OpenMode mode : modes) {
    SCOPED_TRACE(static_cast<int>(mode));
    if (file_link) {
      EXPECT_EQ(file.open(dir / L"link", mode, OpenTarget::RegularFile), kErrorReparsePointEncountered);
    }
    if (folder_link) {
      EXPECT_EQ(file.open(dir / L"junction", mode, OpenTarget::RegularFile), kErrorReparsePointEncountered);
    }
    EXPECT_EQ(file.open(dir / L"folder", mode, OpenTarget::RegularFile), kErrorAccessDenied);
    EXPECT_EQ(file.open(L"NUL", mode, OpenTarget::RegularFile), kErrorAccessDenied);
    EXPECT_EQ(file.open(L"\\\\.\\NUL", mode, OpenTarget::RegularFile), kErrorAccessDenied);
    // A pipe with a free server instance, so that opening it as a client would succeed at once (a
    // client's open takes the instance, even one refused afterwards: one instance per open).
    const HANDLE pipe = ::CreateNamedPipeW(pipe_name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                                           PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE) << ::GetLastError();
    EXPECT_EQ(file.open(pipe_name, mode, OpenTarget::RegularFile), kErrorAccessDenied);
    ::CloseHandle(pipe);
    EXPECT_FALSE(file.is_open());
    ASSERT_EQ(file.open(dir / L"plain", mode, OpenTarget::RegularFile), kErrorSuccess);
    file.close();
    // Without the restriction the device opens.
    ASSERT_EQ(file.open(L"NUL", mode), kErrorSuccess);
    file.close();
  }
  // Nothing behind a link was truncated or created.
  EXPECT_EQ(test::read_text(dir / L"outside"), "outside");
  std::vector<DirEntry> inside;
  ASSERT_TRUE(list_directory(dir / L"folder", inside));
  EXPECT_TRUE(inside.empty());
  // A truncating open of a plain file truncates it once it is known to be one.
  ASSERT_EQ(file.open(dir / L"plain", OpenMode::WriteTruncate, OpenTarget::RegularFile), kErrorSuccess);
  ASSERT_EQ(file.write("new", 3), kErrorSuccess);
  file.close();
  EXPECT_EQ(test::read_text(dir / L"plain"), "new");
  ASSERT_EQ(file.open(dir / L"created", OpenMode::ReadWriteAlways, OpenTarget::RegularFile), kErrorSuccess);
  file.close();
  EXPECT_TRUE(file_info(dir / L"created") && file_info(dir / L"created")->is_regular);
  EXPECT_FALSE(file_info(dir / L"folder")->is_regular);
  if (file_link) {
    EXPECT_FALSE(file_info(dir / L"link")->is_regular);
  }
  if (!file_link || !folder_link) {
    GTEST_SKIP() << "this system makes no symbolic link to a file" << (folder_link ? "" : " nor to a folder")
                 << ": the rest was checked";
  }
}

TEST(FsWin32, CreateNewNeverOpensWhatAlreadyHasTheName) {
  TempDir dir;
  File file;
  test::write_text(dir / L"existing", "kept");
  EXPECT_EQ(file.open(dir / L"existing", OpenMode::CreateNew), kErrorFileExists);
  EXPECT_EQ(file.open(dir / L"EXISTING", OpenMode::CreateNew), kErrorFileExists);  // in any letter case
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(test::read_text(dir / L"existing"), "kept");
  ASSERT_EQ(file.open(dir / L"new", OpenMode::CreateNew), kErrorSuccess);
  EXPECT_EQ(file.write("x", 1), kErrorSuccess);
  file.close();
  EXPECT_EQ(test::read_text(dir / L"new"), "x");
  if (!test::make_link(dir / L"dangling", dir / L"target", /*directory=*/false)) {
    GTEST_SKIP() << "this system makes no symbolic link to a file: a dangling link was not tried";
  }
  EXPECT_EQ(file.open(dir / L"dangling", OpenMode::CreateNew), kErrorFileExists);
  EXPECT_FALSE(file_info(dir / L"target"));  // a link is not followed to create its target
}

TEST(FsWin32, PositionedReadsStopAtTheEndWithoutAnError) {
  TempDir dir;
  test::write_text(dir / L"f", "abcdef");
  File file;
  ASSERT_EQ(file.open(dir / L"f", OpenMode::ReadExisting), kErrorSuccess);
  char buffer[16] = {};
  std::size_t got = 99;
  ASSERT_EQ(file.read_at(2, buffer, 3, got), kErrorSuccess);
  EXPECT_EQ(std::string(buffer, got), "cde");
  ASSERT_EQ(file.read_at(4, buffer, sizeof buffer, got), kErrorSuccess);  // across the end
  EXPECT_EQ(std::string(buffer, got), "ef");
  got = 99;
  EXPECT_EQ(file.read_at(6, buffer, sizeof buffer, got), kErrorSuccess);  // at the end
  EXPECT_EQ(got, 0u);
  got = 99;
  EXPECT_EQ(file.read_at(1ull << 40, buffer, sizeof buffer, got), kErrorSuccess);  // far past it
  EXPECT_EQ(got, 0u);
  // Another thread's positioned read of the same handle meanwhile.
  std::string other;
  std::thread reader([&] {
    char b[2];
    std::size_t n = 0;
    if (file.read_at(0, b, 2, n) == kErrorSuccess) other.assign(b, n);
  });
  reader.join();
  EXPECT_EQ(other, "ab");
  File closed;
  EXPECT_EQ(closed.read_at(0, buffer, 1, got), kErrorInvalidHandle);
  EXPECT_EQ(got, 0u);
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

namespace corvane::os::win32 {
namespace {

// Every file path reaches the system whole and in the form without the 260-character limit.
TEST(LongPaths, FilePathsTakeTheSystemsOwnFormWholeAndNormalised) {
  EXPECT_EQ(native_path(L"C:\\Corvane\\bin\\x.dll"), L"\\\\?\\C:\\Corvane\\bin\\x.dll");
  // Separators, "." and ".." and trailing dots and spaces as every Win32 call reads them: the
  // system form would keep them as parts of names.
  EXPECT_EQ(native_path(L"C:/Corvane/./bin//sub/../x.dll"), L"\\\\?\\C:\\Corvane\\bin\\x.dll");
  EXPECT_EQ(native_path(L"C:\\Corvane\\x.dll. "), L"\\\\?\\C:\\Corvane\\x.dll");
  EXPECT_EQ(native_path(L"C:\\..\\..\\Corvane"), L"\\\\?\\C:\\Corvane");
  EXPECT_EQ(native_path(L"C:\\"), L"\\\\?\\C:\\");
  // Shares.
  EXPECT_EQ(native_path(L"\\\\server\\share\\Corvane\\x.dll"), L"\\\\?\\UNC\\server\\share\\Corvane\\x.dll");
  EXPECT_EQ(native_path(L"//server/share/Corvane/../y"), L"\\\\?\\UNC\\server\\share\\y");
  // Already the system's own form: as it stands.
  EXPECT_EQ(native_path(L"\\\\?\\C:\\a\\..\\b"), L"\\\\?\\C:\\a\\..\\b");
  EXPECT_EQ(native_path(L"\\\\.\\pipe\\x"), L"\\\\.\\pipe\\x");
  // A relative path is taken from the current folder, as the system would take it.
  wchar_t current[MAX_PATH] = {};
  ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, current), 0u);
  std::wstring expected = std::wstring(L"\\\\?\\") + current;
  if (expected.back() != L'\\') expected += L'\\';
  EXPECT_EQ(native_path(L"sub\\x.dll"), expected + L"sub\\x.dll");
  // A path longer than MAX_PATH keeps every character.
  const std::wstring deep = L"C:\\" + std::wstring(300, L'd') + L"\\x";
  EXPECT_EQ(native_path(deep), L"\\\\?\\" + deep);
  EXPECT_EQ(native_path(L""), L"");
  EXPECT_FALSE(native_path(std::wstring(L"C:\\a\0b", 6)));
  // Texts that are no file paths go to the system unchanged.
  EXPECT_EQ(checked_text(L"Local\\CRVN_client_update"), L"Local\\CRVN_client_update");
}

}  // namespace
}  // namespace corvane::os::win32
