// The update run when the download, the verification or the replacement fails: the status it
// reports, what it leaves on disk, and how the next run continues from there.
#include <algorithm>
#include <functional>

#include "base/paths.h"
#include "integration/update_fixture.h"
#include "net/resume.h"
#include "os/file.h"
#include "os/fs.h"
#include "os/text.h"
#include "release_builder/lzms_pack.h"
#include "release_builder/release.h"
#include "support/http_quirks.h"
#include "update/lzms_frame.h"
#include "update/replacement.h"

namespace corvane::test {
namespace {

bool ends_with(std::wstring_view text, std::wstring_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

std::string server_path(const ManifestFile& entry) { return "/release/" + file_url_path(entry); }

// One way of spoiling the published release, and the file it spoils.
struct Spoiler {
  const char* name;
  const char* file;
  // Spoils the published release; the published files are as built before it runs.
  std::function<void()> spoil;
};

class UpdateFailureTest : public UpdateRunTest {
 protected:
  void expect_corrupt_downloads(const std::vector<Spoiler>& spoilers);

  // Empties the client folder for the next case.
  void reset_client() {
    remove_all(client_.path());
    make_dirs(client_.path());
  }

  // The staging files named after the content of `manifest_path`.
  std::vector<std::string> staged_files_of(const std::string& manifest_path) const {
    std::vector<std::string> names = staging_files();
    const std::string& sha = entry(manifest_path).sha256;
    names.erase(std::remove_if(names.begin(), names.end(), [&](const std::string& n) { return n.rfind(sha, 0) != 0; }),
                names.end());
    return names;
  }
};

TEST_F(UpdateFailureTest, LostPartsAreFetchedByTheNextRunAndNothingElse) {
  Tree release = small_release(1);
  release["data/ngtables/big.bin"] = noise(24u << 20, 9);  // three ranged parts
  publish(release, "1.0.0", "", {"Corvane.exe"});
  for (const char* lost : {"bin/core.dll", "bin/sub/ui.dll"}) {
    server_.add_fault({.kind = test_cdn::FaultKind::kDropAfter, .path = server_path(entry(lost)), .bytes = 1000});
  }

  ASSERT_EQ(run(), kFailed) << console_;
  // Reset connections are failed transfers (under Wine they may read as short bodies, which mean
  // a release that is changing).
  if (!reset_may_read_as_end_of_body()) {
    EXPECT_EQ(result_.status, kStatusDownloadIncomplete);
  }
  EXPECT_NE(console_.find("faylov\n[!] Obnovlenie: ne skachano 2 chastey, zagruzka prodolzhitsya pri "
                          "sleduyushchem zapuske.\n"),
            std::string::npos)
      << console_;
  EXPECT_EQ(fetched("bin/core.dll").requests, 3u);           // three attempts each
  EXPECT_EQ(fetched("data/ngtables/big.bin").ranged_requests, 4u);  // the probe and three parts
  // Nothing of the client was touched; the staging folder keeps what arrived.
  const Tree after_first = client_tree();
  EXPECT_TRUE(std::all_of(after_first.begin(), after_first.end(), [](const auto& f) { return f.first.rfind("update/", 0) == 0; }));
  EXPECT_EQ(staged_files_of("data/ngtables/big.bin").size(), 2u);

  server_.clear_faults();
  server_.reset_counters();
  ASSERT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(fetched("bin/core.dll").body_bytes, release["bin/core.dll"].size());
  EXPECT_EQ(fetched("bin/sub/ui.dll").body_bytes, release["bin/sub/ui.dll"].size());
  EXPECT_EQ(fetched("data/ngtables/big.bin").requests, 1u);  // the probe only
  EXPECT_LE(fetched("data/ngtables/big.bin").body_bytes, 1u);
  EXPECT_EQ(fetched("Corvane.exe").requests, 0u);
  EXPECT_EQ(fetched("bin/dup_a.dat").requests, 0u);
  EXPECT_EQ(client_tree(), release);
}

TEST_F(UpdateFailureTest, MissingOrMisframedFileMeansTheReleaseIsChanging) {
  const Tree release = small_release(1);
  publish(release);
  struct Case {
    const char* name;
    test_cdn::Fault fault;
  };
  const Case cases[] = {
      {"404", {.kind = test_cdn::FaultKind::kStatus, .path = server_path(entry("bin/core.dll")), .status = 404}},
      {"403", {.kind = test_cdn::FaultKind::kStatus, .path = server_path(entry("bin/core.dll")), .status = 403}},
      {"short body", {.kind = test_cdn::FaultKind::kShortBody, .path = server_path(entry("bin/core.dll")), .bytes = 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset_client();
    server_.clear_faults();
    server_.add_fault(c.fault);
    EXPECT_EQ(run(), kFailed);
    EXPECT_EQ(result_.status, kStatusReleaseChanging);
    EXPECT_NE(console_.find("[!] Obnovlenie: ne skachano 1 chastey"), std::string::npos) << console_;
    EXPECT_FALSE(os::file_info(client_path("Corvane.exe")).has_value());
  }
  server_.clear_faults();
  EXPECT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(client_tree(), release);
}

// For each spoiler: the run fails with status 4 naming the file, loses only that content's staging
// files, and the next run against the repaired release fetches that file whole and nothing else.
void UpdateFailureTest::expect_corrupt_downloads(const std::vector<Spoiler>& spoilers) {
  const Tree release = small_release(1);
  for (const Spoiler& c : spoilers) {
    SCOPED_TRACE(c.name);
    reset_client();
    publish(release);
    c.spoil();
    server_.reset_counters();
    EXPECT_EQ(run(), kFailed);
    EXPECT_EQ(result_.status, kStatusDownloadCorrupt);
    EXPECT_EQ(result_.file, c.file);
    EXPECT_EQ(result_.error_code, 0u);
    EXPECT_NE(console_.find(std::string("[!] Obnovlenie: fayl ") + c.file + " povrezhden pri zagruzke.\n"),
              std::string::npos)
        << console_;
    // The spoilt content's data, content and resume files are gone; the other downloads stay.
    EXPECT_TRUE(staged_files_of(c.file).empty());
    EXPECT_EQ(staged_files_of("bin/sub/ui.dll").size(), 2u);
    EXPECT_FALSE(os::file_info(client_path("bin/sub/ui.dll")).has_value());

    // Put right on the server: the next run fetches that file whole and nothing else.
    publish(release);
    server_.reset_counters();
    EXPECT_EQ(run(), kUpdated) << console_;
    EXPECT_EQ(fetched(c.file).requests, 1u);
    EXPECT_EQ(fetched(c.file).body_bytes, entry(c.file).packed_size != 0 ? entry(c.file).packed_size : entry(c.file).size);
    EXPECT_EQ(fetched("bin/sub/ui.dll").requests, 0u);
    EXPECT_EQ(client_tree(), release);
  }
}

TEST_F(UpdateFailureTest, BytesSpoiltOnTheWireAreCaughtWhetherFetchedWholeOrInRanges) {
  Tree release = small_release(1);
  release["data/ngtables/big.bin"] = noise(24u << 20, 9);  // three ranged parts, hashed as they land
  publish(release, "1.0.0", "", {"Corvane.exe"});
  struct Case {
    const char* file;
    std::uint64_t offset;
  };
  const Case cases[] = {{"bin/core.dll", 100}, {"data/ngtables/big.bin", (12u << 20) + 7},
                        {"data/ngtables/big.bin", (24u << 20) - 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " at " + std::to_string(c.offset));
    reset_client();
    server_.clear_faults();
    server_.add_fault({.kind = test_cdn::FaultKind::kFlipByte, .path = server_path(entry(c.file)), .bytes = c.offset});
    EXPECT_EQ(run(), kFailed);
    EXPECT_EQ(result_.status, kStatusDownloadCorrupt);
    EXPECT_EQ(result_.file, c.file);
    EXPECT_NE(console_.find(std::string("[!] Obnovlenie: fayl ") + c.file + " povrezhden pri zagruzke.\n"),
              std::string::npos)
        << console_;
    EXPECT_TRUE(staged_files_of(c.file).empty());
    EXPECT_FALSE(os::file_info(client_path(c.file)).has_value());

    server_.clear_faults();
    EXPECT_EQ(run(), kUpdated) << console_;
    EXPECT_EQ(client_tree(), release);
  }
}

TEST_F(UpdateFailureTest, AResumedDownloadIsCheckedOverTheBytesOfTheEarlierRunToo) {
  Tree release = small_release(1);
  release["data/ngtables/big.bin"] = noise(24u << 20, 9);
  publish(release, "1.0.0", "", {"Corvane.exe"});
  const std::string big = server_path(entry("data/ngtables/big.bin"));
  // The range probe and one part arrive; the two other parts are cut off on every attempt.
  server_.add_fault({.kind = test_cdn::FaultKind::kDropAfter, .path = big, .bytes = 1000, .skip = 2});
  ASSERT_EQ(run(), kFailed) << console_;
  // The cut parts are failed transfers; under Wine a reset may read as a short body (status 8).
  if (reset_may_read_as_end_of_body()) {
    ASSERT_TRUE(result_.status == kStatusDownloadIncomplete || result_.status == kStatusReleaseChanging) << console_;
  } else {
    ASSERT_EQ(result_.status, kStatusDownloadIncomplete) << console_;
  }

  // One byte of the part that arrived changes on disk before the next run.
  const std::wstring stem = client_path("update/" + entry("data/ngtables/big.bin").sha256);
  const std::vector<std::uint32_t> record = read_parts_file(stem + L".parts");
  ASSERT_EQ(record.size(), 2u);
  {
    os::File staged;
    ASSERT_EQ(staged.open(stem + L".raw", os::OpenMode::ReadWriteAlways), os::kErrorSuccess);
    const char spoilt = '\x5A';
    ASSERT_EQ(staged.write_at(record[1] + 4321, &spoilt, 1), os::kErrorSuccess);
  }

  server_.clear_faults();
  server_.reset_counters();
  EXPECT_EQ(run(), kFailed);
  EXPECT_EQ(result_.status, kStatusDownloadCorrupt);
  EXPECT_EQ(result_.file, "data/ngtables/big.bin");
  EXPECT_LE(fetched("data/ngtables/big.bin").body_bytes, (16u << 20) + 1u) << "the earlier part is not fetched again";
  EXPECT_TRUE(staged_files_of("data/ngtables/big.bin").empty());

  EXPECT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(client_tree(), release);
}

TEST_F(UpdateFailureTest, ChangedFilesKeepManifestOrderWhateverOrderTheyAreCheckedIn) {
  Tree release = small_release(1);
  release["bin/a_small.bin"] = noise(3000, 11);
  release["bin/z_large.bin"] = noise(3u << 20, 12);
  publish(release, "1.0.0");
  ASSERT_EQ(run(), kUpdated) << console_;
  const auto position = [&](const std::string& path) {
    return std::find_if(files_.begin(), files_.end(), [&](const ManifestFile& f) { return f.path == path; }) -
           files_.begin();
  };
  // The client files are checked largest first; the run must still take them in manifest order.
  ASSERT_LT(position("bin/a_small.bin"), position("bin/z_large.bin"));

  for (const char* path : {"bin/a_small.bin", "bin/z_large.bin"}) {
    std::string changed = release[path];
    changed[changed.size() / 2] = static_cast<char>(changed[changed.size() / 2] ^ 1);
    put_client_file(path, changed);
    server_.add_fault({.kind = test_cdn::FaultKind::kFlipByte, .path = server_path(entry(path)), .bytes = 10});
  }
  EXPECT_EQ(run(), kFailed);
  EXPECT_EQ(console_.substr(0, console_.find('\r')), "[*] Dostupna versiya 1.0.0, obnovlyaem 2 faylov...\n");
  EXPECT_EQ(result_.status, kStatusDownloadCorrupt);
  EXPECT_EQ(result_.file, "bin/a_small.bin");

  // The larger file's spoilt download stayed staged, complete: the next run reads it back and
  // refuses it in turn.
  server_.clear_faults();
  EXPECT_EQ(run(), kFailed);
  EXPECT_EQ(result_.file, "bin/z_large.bin");
  EXPECT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(client_tree(), release);
}

TEST_F(UpdateFailureTest, CorruptDownloadLosesOnlyItsOwnStagingFiles) {
  expect_corrupt_downloads({{"wrong content", "bin/core.dll",
                             [this] { write_text(published("bin/core.dll"), noise(70000, 999)); }}});
}

TEST_F(UpdateFailureTest, CorruptPackedDownloadLosesOnlyItsOwnStagingFiles) {
  if (!tools::lzms_packing_available()) GTEST_SKIP() << "the system has no LZMS compressor to publish packed files (Wine lacks the Compression API)";
  if (!lzms_decoding_available()) GTEST_SKIP() << "the system has no LZMS decompressor (Wine lacks the Compression API)";
  expect_corrupt_downloads({
      {"wrong unpacked size", "Corvane.exe",
       [this] {
         std::vector<ManifestFile> files = files_;
         files[0].size += 1;
         publish_manifest(tools::manifest_text("1.0.0", "", files));
         files_ = files;
       }},
      {"chunk size beyond the frame", "data/ngtables/table.bin",
       [this] {
         std::string frame = read_text(published("data/ngtables/table.bin"));
         frame.replace(kLzmsHeaderSize, 4, "\xF0\xFF\xFF\xFF");
         write_text(published("data/ngtables/table.bin"), frame);
       }},
      {"chunk of garbage", "data/ngtables/table.bin",
       [this] {
         std::string frame = read_text(published("data/ngtables/table.bin"));
         const std::string garbage = noise(frame.size() - kLzmsHeaderSize - kLzmsChunkPrefixSize, 5);
         frame.replace(kLzmsHeaderSize + kLzmsChunkPrefixSize, garbage.size(), garbage);
         write_text(published("data/ngtables/table.bin"), frame);
       }},
  });
}

TEST_F(UpdateFailureTest, AFullDiskWhileUnpackingIsAWriteFailureThatKeepsTheDownload) {
  if (!tools::lzms_packing_available()) GTEST_SKIP() << "this build has no LZMS encoder to publish packed files";
  if (!lzms_decoding_available()) GTEST_SKIP() << "the system has no LZMS decompressor (Wine lacks the Compression API)";
  const Tree release = small_release(1);
  publish(release);
  const std::wstring unpacked = client_path("update/" + entry("Corvane.exe").sha256 + ".raw");
  {
    ScopedFsFault full([&](os::FsOp op, std::wstring_view path, std::wstring_view) -> os::ErrorCode {
      return op == os::FsOp::OpenForWrite && path == unpacked ? os::kErrorDiskFull : 0;
    });
    EXPECT_EQ(run(), kFailed);
  }
  // A disk error naming the file, not a corrupt download.
  EXPECT_EQ(result_.status, kStatusWriteFailed);
  EXPECT_EQ(result_.file, "Corvane.exe");
  EXPECT_EQ(result_.error_code, os::kErrorDiskFull);
  EXPECT_NE(console_.find("[!] Obnovlenie: ne udalos sozdat vremennyy fayl dlya Corvane.exe (kod 112).\n"),
            std::string::npos)
      << console_;
  // The complete packed download stays; once there is room the next run unpacks it without
  // fetching it again.
  EXPECT_EQ(staged_files_of("Corvane.exe").size(), 2u);
  server_.reset_counters();
  EXPECT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(fetched("Corvane.exe").requests, 0u);
  EXPECT_EQ(client_tree(), release);
}

// Replacement of an installed release by a newer one, with a fault injected at one file.
class ReplacementFailureTest : public UpdateFailureTest {
 protected:
  void SetUp() override {
    UpdateFailureTest::SetUp();
    old_ = small_release(1);
    publish(old_, "1.0.0");
    ASSERT_EQ(run(), kUpdated) << console_;
    publish(small_release(2), "2.0.0");
  }

  Tree old_;
};

TEST_F(ReplacementFailureTest, BusyFileRollsBackEveryFileReplacedBeforeIt) {
  // Corvane.exe and bin/core.dll come first in manifest order and are replaced before it.
  const std::wstring busy = client_path("data/ngtables/table.bin");
  {
    ScopedFsFault fault([&](os::FsOp op, std::wstring_view from, std::wstring_view to) -> os::ErrorCode {
      return op == os::FsOp::Move && from == busy && ends_with(to, L".crvnold") ? os::kErrorSharingViolation : 0;
    });
    EXPECT_EQ(run(), kFailed);
  }
  EXPECT_EQ(result_.status, kStatusFileBusy);
  EXPECT_EQ(result_.file, "data/ngtables/table.bin");
  EXPECT_EQ(result_.error_code, os::kErrorSharingViolation);
  EXPECT_EQ(result_.version, "2.0.0");
  EXPECT_NE(console_.find("[!] Obnovlenie: fayl data/ngtables/table.bin zanyat (kod 32), otkat.\n"), std::string::npos)
      << console_;
  EXPECT_EQ(client_tree(), old_);  // no backups and no staging folder either

  EXPECT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(client_tree(), small_release(2));
}

TEST_F(ReplacementFailureTest, WriteFailuresRollBackAndName) {
  const std::wstring table_target = client_path("data/ngtables/table.bin");
  const std::wstring staging = join_path(client_.path(), L"update");
  const std::wstring core_staged = join_path(staging, os::from_utf8(entry("bin/core.dll").sha256) + L".raw");
  struct Case {
    const char* name;
    os::FsFaultHook hook;
    const char* file;
    os::ErrorCode code;
    const char* line;
  };
  const Case cases[] = {
      {"new content cannot be moved in",
       // Only the move out of the staging folder fails; the backup can still go back.
       [&](os::FsOp op, std::wstring_view from, std::wstring_view to) -> os::ErrorCode {
         return op == os::FsOp::Move && from.starts_with(staging) && to == table_target ? os::kErrorDiskFull : 0;
       },
       "data/ngtables/table.bin", os::kErrorDiskFull,
       "[!] Obnovlenie: ne udalos zapisat data/ngtables/table.bin (kod 112), otkat.\n"},
      {"staging file cannot be made",
       [&](os::FsOp op, std::wstring_view path, std::wstring_view) -> os::ErrorCode {
         return op == os::FsOp::OpenForWrite && path == core_staged ? os::kErrorAccessDenied : 0;
       },
       "bin/core.dll", os::kErrorAccessDenied,
       "[!] Obnovlenie: ne udalos sozdat vremennyy fayl dlya bin/core.dll (kod 5).\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      ScopedFsFault fault(c.hook);
      EXPECT_EQ(run(), kFailed);
    }
    EXPECT_EQ(result_.status, kStatusWriteFailed);
    EXPECT_EQ(result_.file, c.file);
    EXPECT_EQ(result_.error_code, c.code);
    EXPECT_NE(console_.find(c.line), std::string::npos) << console_;
    Tree client = client_tree();
    std::erase_if(client, [](const auto& f) { return f.first.rfind("update/", 0) == 0; });
    EXPECT_EQ(client, old_);
  }

  // A fresh install whose copy for the second equal file fails leaves nothing behind.
  reset_client();
  const std::wstring copy_target = client_path("data/ngtables/dup_b.dat");
  {
    ScopedFsFault fault([&](os::FsOp op, std::wstring_view, std::wstring_view to) -> os::ErrorCode {
      return op == os::FsOp::Copy && to == copy_target ? os::kErrorDiskFull : 0;
    });
    EXPECT_EQ(run(), kFailed);
  }
  EXPECT_EQ(result_.status, kStatusWriteFailed);
  EXPECT_EQ(result_.file, "data/ngtables/dup_b.dat");
  EXPECT_TRUE(client_tree().empty());
  EXPECT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(client_tree(), small_release(2));
}

}  // namespace
}  // namespace corvane::test
