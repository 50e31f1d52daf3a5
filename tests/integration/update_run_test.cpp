// The update run against the loopback CDN: installs, re-checks, partial updates, the manifest's
// failures and the progress it reports.
#include <algorithm>
#include <cctype>
#include <regex>
#include <thread>

#include "base/paths.h"
#include "integration/update_fixture.h"
#include "os/fs.h"
#include "update/cleanup.h"
#include "os/text.h"
#include "release_builder/release.h"

namespace corvane::test {
namespace {

constexpr const char* kCdnLine = "[!] Obnovlenie: CDN nedostupen, zapuskaem tekushchuyu versiyu.\n";
constexpr const char* kCorruptLine = "[!] Obnovlenie: manifest povrezhden, obnovlenie otkloneno.\n";

// The console progress line: "\r  Obnovlenie: NNN%  d/n faylov" rewritten in place, ended by one
// line feed. Returns the rewrites in order, or fails the test when the text does not have that form.
std::vector<std::string> progress_rewrites(const std::string& console) {
  const std::size_t first = console.find('\r');
  const std::size_t end = console.find('\n', first);
  EXPECT_NE(first, std::string::npos) << console;
  if (first == std::string::npos || end == std::string::npos) return {};
  std::vector<std::string> rewrites;
  const std::regex form(R"(  Obnovlenie: [ 0-9]{2}[0-9]%  [0-9]+/[0-9]+ faylov)");
  std::size_t pos = first;
  while (pos < end) {
    const std::size_t next = std::min(console.find('\r', pos + 1), end);
    rewrites.push_back(console.substr(pos + 1, next - pos - 1));
    EXPECT_TRUE(std::regex_match(rewrites.back(), form)) << rewrites.back();
    pos = next;
  }
  return rewrites;
}

TEST_F(UpdateRunTest, InstallsEveryFileThenFindsTheClientCurrent) {
  const Tree release = small_release(1);
  publish(release, "1.2.3", "2024-05-01");

  ASSERT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(result_.status, kStatusNone);
  EXPECT_EQ(result_.version, "1.2.3");
  EXPECT_EQ(result_.date, "2024-05-01");
  // Byte-exact, the uninstaller at the top, nothing else left behind: no staging folder, no backups.
  EXPECT_EQ(client_tree(), release);
  EXPECT_FALSE(staging_exists());
  // Eight entries (the two equal files counted each), seven distinct downloads in the progress.
  EXPECT_EQ(console_.substr(0, console_.find('\r')),
            "[*] Dostupna versiya 1.2.3 ot 2024-05-01, obnovlyaem 8 faylov...\n");
  const std::vector<std::string> rewrites = progress_rewrites(console_);
  ASSERT_FALSE(rewrites.empty());
  EXPECT_EQ(rewrites.back(), "  Obnovlenie: 100%  7/7 faylov");
  EXPECT_NE(console_.find("faylov\n[*] Klient obnovlen do versii 1.2.3 ot 2024-05-01.\n"), std::string::npos)
      << console_;
  // Equal contents are fetched once; nothing is asked twice; files under 16 MiB are never probed.
  EXPECT_EQ(fetched("bin/dup_a.dat").requests + fetched("data/ngtables/dup_b.dat").requests, 1u);
  EXPECT_EQ(fetched("Corvane.exe").requests, 1u);
  EXPECT_EQ(server_.totals().ranged_requests, 0u);

  server_.reset_counters();
  ASSERT_EQ(run(), kUpToDate) << console_;
  EXPECT_EQ(console_, "[*] Klient aktualen (versiya 1.2.3 ot 2024-05-01).\n");
  EXPECT_EQ(release_requests(), 1u);  // the manifest only
  EXPECT_EQ(client_tree(), release);
  EXPECT_FALSE(staging_exists());
}

TEST_F(UpdateRunTest, FetchesOnlyWhatDiffersAndKeepsFilesTheReleaseDoesNotList) {
  Tree release = small_release(1);
  publish(release, "1.0.0");
  ASSERT_EQ(run(), kUpdated) << console_;

  // One file of the right size with its last byte changed, one missing, one foreign file.
  std::string core = release["bin/core.dll"];
  core.back() = static_cast<char>(core.back() ^ 1);
  put_client_file("bin/core.dll", core);
  ASSERT_EQ(std::remove(os::to_utf8(client_path("bin/sub/ui.dll")).c_str()), 0);
  put_client_file("bin/mine.txt", "kept");
  server_.reset_counters();

  ASSERT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(console_.substr(0, console_.find('\r')), "[*] Dostupna versiya 1.0.0, obnovlyaem 2 faylov...\n");
  EXPECT_EQ(fetched("bin/core.dll").body_bytes, release["bin/core.dll"].size());
  EXPECT_EQ(fetched("bin/sub/ui.dll").body_bytes, release["bin/sub/ui.dll"].size());
  EXPECT_EQ(release_requests(), 3u);
  release["bin/mine.txt"] = "kept";
  EXPECT_EQ(client_tree(), release);

  // Only an empty file to bring: nothing to download, and the percentage of 0 bytes is 100.
  ASSERT_EQ(std::remove(os::to_utf8(client_path("bin/empty.cfg")).c_str()), 0);
  ASSERT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(progress_rewrites(console_), std::vector<std::string>{"  Obnovlenie: 100%  1/1 faylov"});
  EXPECT_EQ(client_tree(), release);

  // A newer release replaces through backups and removes them afterwards.
  const Tree newer = small_release(2);
  publish(newer, "2.0.0");
  ASSERT_EQ(run(), kUpdated) << console_;
  Tree expected = newer;
  expected["bin/mine.txt"] = "kept";
  EXPECT_EQ(client_tree(), expected);
}

// A folder of one release is a file in the next (bin/x), and a file a folder (bin/p): each update
// puts the newer shape in place, and a folder that a file replaced is kept with everything in it
// (the user's files too) under a name of its own that the console gives.
TEST_F(UpdateRunTest, FoldersThatBecomeFilesAndFilesThatBecomeFoldersAreUpdated) {
  const Tree r1 = {{"Corvane.exe", "exe"}, {"bin/x/y", "y of 1"}, {"bin/p", "p of 1"}};
  const Tree r2 = {{"Corvane.exe", "exe"}, {"bin/x", "x of 2"}, {"bin/p/q", "q of 2"}};
  publish(r1);
  ASSERT_EQ(run(), kUpdated) << console_;
  put_client_file("bin/x/mine.txt", "the user's");
  const Tree kept_x = {{"bin/x.kept/y", "y of 1"}, {"bin/x.kept/mine.txt", "the user's"}};
  struct Step {
    const Tree* release;
    Tree kept;
    const char* line;
  };
  const Step steps[] = {
      {&r2, kept_x, "[*] Obnovlenie: papka bin/x zamenena faylom, ee soderzhimoe sokhraneno v bin/x.kept.\n"},
      {&r1, overlay(kept_x, {{"bin/p.kept/q", "q of 2"}}),
       "[*] Obnovlenie: papka bin/p zamenena faylom, ee soderzhimoe sokhraneno v bin/p.kept.\n"},
  };
  int version = 2;
  for (const Step& step : steps) {
    SCOPED_TRACE(version);
    publish(*step.release, std::to_string(version++) + ".0.0");
    ASSERT_EQ(run(), kUpdated) << console_;
    EXPECT_NE(console_.find(step.line), std::string::npos) << console_;
    EXPECT_EQ(client_tree(), overlay(*step.release, step.kept));
    ASSERT_EQ(run(), kUpToDate) << console_;
  }
}

TEST_F(UpdateRunTest, ManifestThatCannotBeFetchedLeavesEverythingAlone) {
  publish(small_release(1));
  put_client_file("bin/core.dll", "old");
  const Tree before = client_tree();

  struct Case {
    const char* name;
    std::uint32_t status;
  };
  const auto expect_failure = [&](const Case& c) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run(), kFailed);
    EXPECT_EQ(result_.status, c.status);
    EXPECT_EQ(console_, kCdnLine);
    EXPECT_EQ(client_tree(), before);
    EXPECT_TRUE(result_.version.empty());
  };

  server_.add_fault({.kind = test_cdn::FaultKind::kStatus, .path = "/release/manifest.json", .status = 404});
  expect_failure({"404", kStatusManifestMissing});
  server_.clear_faults();
  server_.add_fault({.kind = test_cdn::FaultKind::kStatus, .path = "/release/manifest.json", .status = 500});
  expect_failure({"500", kStatusCdnUnreachable});
  server_.clear_faults();
  server_.add_fault({.kind = test_cdn::FaultKind::kRefuse});
  expect_failure({"reset connection", kStatusCdnUnreachable});
  server_.clear_faults();

  // A manifest of exactly 1 MiB is read; one byte more is refused.
  std::string text = tools::manifest_text("1.0.0", "", files_);
  text.resize(1048577, ' ');
  publish_manifest(text);
  expect_failure({"1048577 bytes", kStatusCdnUnreachable});
  text.resize(1048576);
  publish_manifest(text);
  EXPECT_EQ(run(), kUpdated) << console_;

  // Nothing listens on the port of a stopped server.
  const std::uint16_t port = server_.port();
  server_.stop();
  ::testing::internal::CaptureStdout();
  const std::uint32_t code = run_update_with_base_url("http://127.0.0.1:" + std::to_string(port) + "/",
                                                      client_.path(), L"", &result_, {}, "release");
  console_ = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, kFailed);
  EXPECT_EQ(result_.status, kStatusCdnUnreachable);
  EXPECT_EQ(console_, kCdnLine);
}

TEST_F(UpdateRunTest, CorruptManifestIsRefusedBeforeAnythingIsTouched) {
  publish(small_release(1));
  const std::string good = tools::manifest_text("1.0.0", "", files_);
  // An earlier run's staging and a file that the release would replace stay as they are.
  put_client_file("update/" + files_[0].sha256 + ".raw", "half");
  put_client_file("bin/core.dll", "old");
  const Tree before = client_tree();

  std::vector<ManifestFile> twice = files_;
  twice.push_back(files_[1]);
  twice.back().sha256 = files_[2].sha256;  // the same path with another content
  std::vector<ManifestFile> escaping = files_;
  escaping[0].path = "bin/../../outside.exe";
  // Names that Windows opens as devices: fetched, they could never be put in place.
  std::vector<ManifestFile> devices = files_;
  devices.push_back(files_[1]);
  devices.back().path = "bin/nul.txt";
  std::vector<ManifestFile> device_folder = files_;
  device_folder.push_back(files_[1]);
  device_folder.back().path = "bin/Com1 .d/x.dll";
  // Two names that differ only in case outside ASCII: one file to Windows, with two contents.
  std::vector<ManifestFile> case_twins = files_;
  case_twins.push_back(files_[1]);
  case_twins.back().path = "bin/\xD0\xA4\xD0\xBE\xD0\xBD.dll";  // Фон.dll
  case_twins.push_back(files_[2]);
  case_twins.back().path = "bin/\xD1\x84\xD0\xBE\xD0\xBD.dll";  // фон.dll
  const std::vector<std::pair<const char*, std::string>> manifests = {
      {"cut short", good.substr(0, good.size() / 2)},
      {"not JSON", "<html>maintenance</html>"},
      {"format 2", "{\"format\": 2" + good.substr(good.find(','))},
      {"no files", tools::manifest_text("1.0.0", "", {})},
      {"path leaving the folder", tools::manifest_text("1.0.0", "", escaping)},
      {"one path with two contents", tools::manifest_text("1.0.0", "", twice)},
      {"a device name", tools::manifest_text("1.0.0", "", devices)},
      {"a device name as a folder", tools::manifest_text("1.0.0", "", device_folder)},
      {"case twins with two contents", tools::manifest_text("1.0.0", "", case_twins)},
  };
  for (const auto& [name, text] : manifests) {
    SCOPED_TRACE(name);
    publish_manifest(text);
    EXPECT_EQ(run(), kFailed);
    EXPECT_EQ(result_.status, kStatusManifestCorrupt);
    EXPECT_EQ(console_, kCorruptLine);
    EXPECT_EQ(client_tree(), before);
    EXPECT_EQ(release_requests(), server_.counters("/release/manifest.json").requests);
  }

  // The same path listed twice with the same content is no contradiction: fetched and placed once.
  std::vector<ManifestFile> repeated = files_;
  repeated.push_back(files_[0]);
  publish_manifest(tools::manifest_text("1.0.0", "", repeated));
  EXPECT_EQ(run(), kUpdated) << console_;
  EXPECT_NE(console_.find("obnovlyaem 9 faylov"), std::string::npos) << console_;
  EXPECT_EQ(fetched(files_[0].path).requests, 1u);
  EXPECT_EQ(client_tree(), small_release(1));
}

// Removes a tree through the platform layer's own calls, which take paths of any length.
void remove_tree(const std::wstring& path) {
  std::vector<os::DirEntry> entries;
  if (os::list_directory(path, entries)) {
    for (const os::DirEntry& e : entries) {
      if (e.info.is_directory && !e.info.is_link) {
        remove_tree(join_path(path, e.name));
      } else {
        (void)os::delete_file(join_path(path, e.name));
      }
    }
  }
  (void)os::remove_directory(path);
}

TEST_F(UpdateRunTest, AClientFolderWhosePathsPassTheOldLimitOf260CharactersIsInstalled) {
  Tree release = small_release(1);
  const std::string long_name(90, 'n');
  release["data/ngtables/" + long_name + "/" + long_name + ".bin"] = prose(5000, 3);
  publish(release);
  std::wstring deep = client_.path();
  while (deep.size() < 180) deep = join_path(deep, L"a-client-folder-deep-down");
  struct Removed {
    std::wstring root;
    ~Removed() { remove_tree(root); }
  } removed{join_path(client_.path(), L"a-client-folder-deep-down")};
  make_dirs(deep);  // as the install makes it before the run

  ::testing::internal::CaptureStdout();
  const std::uint32_t code = run_update_with_base_url(server_.base_url(), deep, L"", &result_, {}, "release");
  console_ = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(code, kUpdated) << console_;
  std::size_t longest = 0;
  for (const auto& [relative, content] : release) {
    const std::wstring path = join_path(deep, os::from_utf8(relative));
    longest = std::max(longest, path.size());
    EXPECT_EQ(read_text(path), content) << relative;
  }
  EXPECT_GT(longest, 300u);
  EXPECT_FALSE(os::file_info(staging_dir_for(deep)));
  // A second run finds every file current.
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(run_update_with_base_url(server_.base_url(), deep, L"", &result_, {}, "release"), kUpToDate);
  console_ = ::testing::internal::GetCapturedStdout();
}

TEST_F(UpdateRunTest, InvalidChannelsFailWithoutAnyRequest) {
  publish(small_release(1));
  for (const std::string& channel : {std::string(65, 'a'), std::string(), std::string("."), std::string(".."),
                                    std::string("re lease"), std::string("release/.."), std::string("r%2e")}) {
    SCOPED_TRACE("channel '" + channel + "'");
    EXPECT_EQ(run({}, L"", channel), kFailed);
    EXPECT_EQ(result_.status, kStatusCdnUnreachable);
    EXPECT_EQ(console_, kCdnLine);
  }
  EXPECT_EQ(server_.totals().requests, 0u);
  EXPECT_EQ(server_.connections(), 0u);

  // The longest valid name is asked for (and is missing here).
  const std::string longest = "a-b_c.D9" + std::string(56, 'x');
  EXPECT_EQ(run({}, L"", longest), kFailed);
  EXPECT_EQ(result_.status, kStatusManifestMissing);
  EXPECT_EQ(manifest_fetches(longest).requests, 1u);

  // The shipped entry point checks the channel before it goes to its configured CDN.
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(run_update(client_.path(), L"", &result_, {}, ".."), kFailed);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), kCdnLine);
  EXPECT_EQ(result_.status, kStatusCdnUnreachable);
  // A null result is allowed, and a base URL without its final '/' gets one.
  std::string base = server_.base_url();
  base.pop_back();
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(run_update_with_base_url(base, client_.path(), L"", nullptr, {}, "release"), kUpdated);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("[*] Klient obnovlen do versii 1.0.0.\n"), std::string::npos);
}

struct ProgressLog {
  std::thread::id thread;
  int calls = 0;
  bool other_thread = false;
  bool went_back = false;
  std::uint64_t bytes_done = 0;
  std::uint64_t bytes_total = 0;
  std::uint32_t files_done = 0;
  std::uint32_t files_total = 0;
};

void log_progress(void* context, std::uint64_t bytes_done, std::uint64_t bytes_total, std::uint32_t files_done,
                  std::uint32_t files_total) {
  auto& log = *static_cast<ProgressLog*>(context);
  ++log.calls;
  if (std::this_thread::get_id() != log.thread) log.other_thread = true;
  if (bytes_done < log.bytes_done || files_done < log.files_done) log.went_back = true;
  log.bytes_done = bytes_done;
  log.bytes_total = bytes_total;
  log.files_done = files_done;
  log.files_total = files_total;
}

TEST_F(UpdateRunTest, ProgressGoesToTheCallbackOnTheRunsThread) {
  publish(small_release(1), "1.0.0", "", {"Corvane.exe", "data/ngtables/*.bin"});
  std::uint64_t distinct_bytes = 0;
  for (const ManifestFile& f : files_) {
    if (f.path != "data/ngtables/dup_b.dat") distinct_bytes += f.packed_size != 0 ? f.packed_size : f.size;
  }
  ProgressLog log;
  log.thread = std::this_thread::get_id();
  ASSERT_EQ(run({&log, &log_progress}), kUpdated) << console_;
  EXPECT_GE(log.calls, 1);
  EXPECT_FALSE(log.other_thread);
  EXPECT_FALSE(log.went_back);
  EXPECT_EQ(log.files_total, 7u);
  EXPECT_EQ(log.files_done, 7u);
  EXPECT_EQ(log.bytes_total, distinct_bytes);
  EXPECT_EQ(log.bytes_done, distinct_bytes);
  // With a callback the console has no progress line.
  EXPECT_EQ(console_.find('\r'), std::string::npos);
  EXPECT_EQ(console_.find("\n\n"), std::string::npos);
}

TEST_F(UpdateRunTest, ConsolePercentStaysAtMostHundredWhenBytesAreFetchedTwice) {
  const Tree release = small_release(1);
  publish(release);
  // Most of core.dll arrives, the connection breaks, and the retry fetches all of it again.
  server_.add_fault({.kind = test_cdn::FaultKind::kDropAfter,
                     .path = "/release/" + file_url_path(entry("bin/core.dll")),
                     .bytes = 60000,
                     .times = 1});
  ASSERT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(fetched("bin/core.dll").requests, 2u);
  const std::vector<std::string> rewrites = progress_rewrites(console_);
  ASSERT_FALSE(rewrites.empty());
  EXPECT_EQ(rewrites.back(), "  Obnovlenie: 100%  7/7 faylov");
  EXPECT_EQ(client_tree(), release);
}

TEST_F(UpdateRunTest, ReplacingTheCallersOwnProgramIsReportedWhateverTheLetterCase) {
  publish(small_release(1));
  std::wstring self = client_path("Corvane.exe");
  std::transform(self.begin(), self.end(), self.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
  ASSERT_NE(self, client_path("Corvane.exe"));
  EXPECT_EQ(run({}, self), kUpdatedSelf) << console_;
  EXPECT_EQ(result_.status, kStatusNone);

  // Only a replaced file counts: the next release leaves Corvane.exe as it is.
  Tree next = small_release(1);
  next["bin/core.dll"] = noise(100, 77);
  publish(next);
  EXPECT_EQ(run({}, self), kUpdated) << console_;
  EXPECT_EQ(run({}, self), kUpToDate) << console_;
}

}  // namespace
}  // namespace corvane::test
