// The update run on Windows and what only Windows does: a client file that another handle holds
// without sharing, the engine's command line (a run from install to resume, two at once on one
// folder, its output through a pipe), and packed files on a system without the Compression API.
#include <windows.h>

#include <chrono>

#include "base/paths.h"
#include "integration/update_fixture.h"
#include "os/fs.h"
#include "os/text.h"
#include "release_builder/release.h"
#include "update/helper_process_win32.h"
#include "update/lzms_frame.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

// A handle that keeps a file open without any sharing, as a program that has it open for writing.
class ExclusiveHandle {
 public:
  explicit ExclusiveHandle(const std::wstring& path)
      : handle_(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~ExclusiveHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  ExclusiveHandle(const ExclusiveHandle&) = delete;
  ExclusiveHandle& operator=(const ExclusiveHandle&) = delete;
  bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

TEST_F(UpdateRunTest, AClientFileOpenWithoutSharingFailsTheRunWithStatus5AndRollsBack) {
  const Tree old_release = small_release(1);
  publish(old_release, "1.0.0");
  ASSERT_EQ(run(), kUpdated) << console_;
  publish(small_release(2), "2.0.0");
  // Corvane.exe and bin/core.dll come before it in manifest order and are replaced first.
  {
    const ExclusiveHandle held(client_path("data/ngtables/table.bin"));
    ASSERT_TRUE(held.is_open());
    EXPECT_EQ(run(), kFailed) << console_;
  }
  EXPECT_EQ(result_.status, kStatusFileBusy);
  EXPECT_EQ(result_.file, "data/ngtables/table.bin");
  // The system's own answer: a sharing violation (Wine may say access denied).
  EXPECT_TRUE(result_.error_code == ERROR_SHARING_VIOLATION || result_.error_code == ERROR_ACCESS_DENIED)
      << result_.error_code;
  EXPECT_NE(console_.find("[!] Obnovlenie: fayl data/ngtables/table.bin zanyat (kod " +
                          std::to_string(result_.error_code) + "), otkat.\n"),
            std::string::npos)
      << console_;
  EXPECT_EQ(client_tree(), old_release) << "every file replaced before it is back, nothing else is left";

  EXPECT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(client_tree(), small_release(2));
}

TEST_F(UpdateRunTest, TheCommandLineInstallsKeepsCurrentRepairsAndResumes) {
  Tree release = small_release(1);
  release["data/ngtables/big.bin"] = noise(24u << 20, 9);  // three ranged parts
  publish(release, "1.0.0");
  const std::wstring cli = build_tree_path(CORVANE_UPDATE_CLI);
  const std::vector<std::wstring> args = {L"--base-url", os::from_utf8(server_.base_url()), client_.path()};
  std::uint32_t code = 99;
  std::string output;
  const auto run_cli = [&] {
    code = 99;
    output.clear();
    return run_with_output_pipe(cli, args, 60s, code, output);
  };

  ASSERT_TRUE(run_cli());
  EXPECT_EQ(code, kUpdated) << output;
  EXPECT_EQ(client_tree(), release);
  ASSERT_TRUE(run_cli());
  EXPECT_EQ(code, kUpToDate) << output;

  // One changed file is fetched again, and only it.
  put_client_file("bin/core.dll", "changed");
  server_.reset_counters();
  ASSERT_TRUE(run_cli());
  EXPECT_EQ(code, kUpdated) << output;
  EXPECT_EQ(fetched("bin/core.dll").requests, 1u);
  EXPECT_EQ(fetched("data/ngtables/big.bin").requests, 0u);
  EXPECT_EQ(client_tree(), release);

  // A manifest that is missing, that the server fails on, or that is no manifest touches nothing.
  put_client_file("bin/core.dll", "changed again");
  const Tree before = client_tree();
  const std::string manifest = "/release/manifest.json";
  for (const std::uint32_t status : {404u, 500u}) {
    server_.clear_faults();
    server_.add_fault({.kind = test_cdn::FaultKind::kStatus, .path = manifest, .status = status});
    ASSERT_TRUE(run_cli());
    EXPECT_EQ(code, kFailed) << status << output;
    EXPECT_EQ(output.rfind("[!]", 0), 0u) << output;
    EXPECT_EQ(client_tree(), before) << status;
  }
  server_.clear_faults();
  publish_manifest("<html>maintenance</html>");
  ASSERT_TRUE(run_cli());
  EXPECT_EQ(code, kFailed) << output;
  EXPECT_EQ(client_tree(), before);

  // Two parts of the big file are lost; the next run fetches them and nothing it already has.
  release["data/ngtables/big.bin"] = noise(24u << 20, 10);
  publish(release, "1.0.1");
  server_.add_fault({.kind = test_cdn::FaultKind::kDropAfter, .path = "/release/" + file_url_path(entry("data/ngtables/big.bin")),
                     .bytes = 1000, .skip = 2});
  ASSERT_TRUE(run_cli());
  EXPECT_EQ(code, kFailed) << output;
  EXPECT_NE(output.find("[!] Obnovlenie: ne skachano 2 chastey"), std::string::npos) << output;
  server_.clear_faults();
  server_.reset_counters();
  ASSERT_TRUE(run_cli());
  EXPECT_EQ(code, kUpdated) << output;
  EXPECT_LE(fetched("data/ngtables/big.bin").body_bytes, (16u << 20) + 1u) << "the part that arrived stays";
  EXPECT_EQ(client_tree(), release);
}

TEST_F(UpdateRunTest, TwoCommandLinesOnOneFolderTakeTurns) {
  const Tree release = small_release(1);
  publish(release);
  // A slow file keeps the first run downloading while the second starts.
  server_.add_fault({.kind = test_cdn::FaultKind::kSlowBody,
                     .path = "/release/" + file_url_path(entry("bin/core.dll")),
                     .bytes_per_second = 100000});
  const std::wstring cli = build_tree_path(CORVANE_UPDATE_CLI);
  const std::vector<std::wstring> args = {L"--base-url", os::from_utf8(server_.base_url()), client_.path()};
  ChildProcess first(cli, args);
  ChildProcess second(cli, args);
  ASSERT_NE(first.pid(), 0u);
  ASSERT_NE(second.pid(), 0u);
  std::uint32_t first_code = 99;
  std::uint32_t second_code = 99;
  ASSERT_TRUE(first.ended(60s, first_code));
  ASSERT_TRUE(second.ended(60s, second_code));
  // One installs, the other then finds the client current; no file is fetched twice.
  EXPECT_EQ(first_code + second_code, 1u);
  EXPECT_EQ(manifest_fetches().requests, 2u);
  for (const ManifestFile& f : files_) {
    if (f.path != "data/ngtables/dup_b.dat" && f.size != 0) {
      EXPECT_EQ(fetched(f.path).requests, 1u) << f.path;
    }
  }
  EXPECT_EQ(client_tree(), release);

  // The command line never makes the client folder itself.
  const std::wstring missing = work_ / L"no-such-client";
  ChildProcess refused(cli, {L"--base-url", os::from_utf8(server_.base_url()), missing});
  std::uint32_t refused_code = 0;
  ASSERT_TRUE(refused.ended(30s, refused_code));
  EXPECT_EQ(refused_code, kFailed);
  EXPECT_FALSE(os::file_info(missing).has_value());
}

TEST_F(UpdateRunTest, TheCommandLinesLinesReachAPipeAsPrinted) {
  // A file with a Cyrillic name, spoilt on the server: its name comes back in the failure line.
  Tree release = small_release(1);
  release["bin/\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.dll"] = noise(3000, 11);
  publish(release, "1.0.0", "2024-05-01");
  const std::string spoilt = "bin/\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.dll";
  // (published() names the file as the URL writes it, percent-encoded; the server's file has the
  // name itself.)
  write_text(work_ / (L"cdn/release/files/" + os::from_utf8(spoilt)), noise(3000, 12));
  const std::wstring cli = build_tree_path(CORVANE_UPDATE_CLI);
  const std::vector<std::wstring> args = {L"--base-url", os::from_utf8(server_.base_url()), client_.path()};

  std::uint32_t code = 99;
  std::string output;
  ASSERT_TRUE(run_with_output_pipe(cli, args, 60s, code, output));
  EXPECT_EQ(code, kFailed);
  EXPECT_NE(output.find("[!] Obnovlenie: fayl " + spoilt + " povrezhden pri zagruzke.\n"), std::string::npos)
      << output;

  publish(release, "1.0.0", "2024-05-01");
  ASSERT_TRUE(run_with_output_pipe(cli, args, 60s, code, output));
  EXPECT_EQ(code, kUpdated);
  // The bytes as printed: line feeds without carriage returns, the progress line rewritten with
  // "\r" and ended by one line feed.
  // Nine entries, eight distinct downloads (two files are equal).
  EXPECT_EQ(output.rfind("[*] Dostupna versiya 1.0.0 ot 2024-05-01, obnovlyaem 9 faylov...\n\r  Obnovlenie: ", 0), 0u)
      << output;
  EXPECT_EQ(output.find("\r\n"), std::string::npos) << output;
  const std::string tail = "\r  Obnovlenie: 100%  8/8 faylov\n[*] Klient obnovlen do versii 1.0.0 ot 2024-05-01.\n";
  ASSERT_GE(output.size(), tail.size());
  EXPECT_EQ(output.substr(output.size() - tail.size()), tail) << output;
  EXPECT_EQ(read_text(client_path(spoilt)), release[spoilt]);
}

TEST_F(UpdateRunTest, APackedFileFailsVerificationWhereTheSystemCannotDecodeIt) {
  if (lzms_decoding_available()) GTEST_SKIP() << "this system has the Compression API's LZMS decompressor";
  // The release as built (unpacked), then one file of it replaced by a valid packed frame of its
  // content in raw chunks, announced in the manifest with its packed size.
  const Tree release = small_release(1);
  publish(release);
  const std::string content = release.at("bin/sub/ui.dll");
  const auto header = lzms_frame_header(content.size(), lzms_header_block_field(content.size(), kLzmsMinBlockSize));
  std::string frame(reinterpret_cast<const char*>(header.data()), header.size());
  for (std::size_t offset = 0; offset < content.size(); offset += kLzmsMinBlockSize) {
    const std::string chunk = content.substr(offset, kLzmsMinBlockSize);
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<char>((chunk.size() >> (8 * i)) & 0xFF));
    frame += chunk;
  }
  std::vector<ManifestFile> files = files_;
  for (ManifestFile& f : files) {
    if (f.path == "bin/sub/ui.dll") f.packed_size = static_cast<std::uint32_t>(frame.size());
  }
  files_ = files;
  write_text(published("bin/sub/ui.dll"), frame);
  publish_manifest(tools::manifest_text("1.0.0", "", files));

  EXPECT_EQ(run(), kFailed) << console_;
  EXPECT_EQ(result_.status, kStatusDownloadCorrupt);
  EXPECT_EQ(result_.file, "bin/sub/ui.dll");
  EXPECT_NE(console_.find("[!] Obnovlenie: fayl bin/sub/ui.dll povrezhden pri zagruzke.\n"), std::string::npos)
      << console_;
  // Nothing of the client was touched; the packed file's staging files are gone.
  const Tree after = client_tree();
  for (const auto& [path, bytes] : after) EXPECT_EQ(path.rfind("update/", 0), 0u) << path;
  for (const std::string& name : staging_files()) {
    EXPECT_NE(name.rfind(entry("bin/sub/ui.dll").sha256, 0), 0u) << name;
  }
}

}  // namespace
}  // namespace corvane::test

namespace corvane::test {
namespace {

TEST_F(UpdateRunTest, TheCommandLineUpdatesAChunkedFileByItsChunks) {
  chunk_globs_ = {"bin/world.pak"};
  Tree release = small_release(1);
  release["bin/world.pak"] = noise(3u << 20, 21);
  publish(release, "1.0.0");
  const std::wstring cli = build_tree_path(CORVANE_UPDATE_CLI);
  const std::vector<std::wstring> args = {L"--base-url", os::from_utf8(server_.base_url()), client_.path()};
  std::uint32_t code = 99;
  std::string output;
  ASSERT_TRUE(run_with_output_pipe(cli, args, 60s, code, output));
  ASSERT_EQ(code, kUpdated) << output;

  release["bin/world.pak"].replace(1000000, 50000, noise(50000, 22));
  publish(release, "2.0.0");
  server_.reset_counters();
  output.clear();
  ASSERT_TRUE(run_with_output_pipe(cli, args, 60s, code, output));
  EXPECT_EQ(code, kUpdated) << output;
  EXPECT_EQ(client_tree(), release);
  EXPECT_NE(output.find("[*] Obnovlenie: zagruzheno "), std::string::npos) << output;
  const test_cdn::PathCounters ranges = fetched("bin/world.pak");
  EXPECT_GT(ranges.ranged_requests, 0u);
  EXPECT_LT(ranges.body_bytes, 512u * 1024) << "the whole file travelled";
}

}  // namespace
}  // namespace corvane::test
