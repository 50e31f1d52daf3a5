// What only Linux makes at a client file's place: pipes, devices and links to them. The check must
// count none of them as current and must never wait on one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "os/text.h"
#include "support/temp_dir.h"
#include "update/verification.h"

namespace corvane {
namespace {

using test::TempDir;

constexpr char kEmptySha[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr char kAbcSha[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

// Runs is_file_current on another thread; a call that has not returned within a second fails the
// test (true), and its thread is left behind, so that a check that waits on a pipe or reads a
// device without end fails the test instead of hanging it.
bool current_or_stuck(const std::wstring& client, const ManifestFile& entry) {
  auto promise = std::make_shared<std::promise<bool>>();
  auto result = promise->get_future();
  std::thread([promise, client, entry] { promise->set_value(is_file_current(client, entry)); }).detach();
  if (result.wait_for(std::chrono::seconds(1)) == std::future_status::ready) return result.get();
  ADD_FAILURE() << entry.path << ": the check is stuck";
  return true;
}

TEST(FileCurrency, OnlyAPlainFileAtThePlaceItselfCounts) {
  TempDir client;
  TempDir outside;
  test::make_dirs(client / L"bin");
  const std::string bin = client.utf8() + "/bin";
  test::write_text(outside / L"abc", "abc");
  test::write_text(outside / L"empty", "");
  ASSERT_EQ(::mkfifo((bin + "/pipe").c_str(), 0600), 0);
  ASSERT_EQ(::symlink((bin + "/pipe").c_str(), (bin + "/to_pipe").c_str()), 0);
  ASSERT_EQ(::symlink("/dev/zero", (bin + "/to_zero").c_str()), 0);
  ASSERT_EQ(::symlink(os::to_utf8(outside / L"abc").c_str(), (bin + "/to_abc").c_str()), 0);
  ASSERT_EQ(::symlink(os::to_utf8(outside / L"empty").c_str(), (bin + "/to_empty").c_str()), 0);
  for (const char* name : {"bin/pipe", "bin/to_pipe", "bin/to_zero", "bin/to_empty"}) {
    EXPECT_FALSE(current_or_stuck(client.path(), ManifestFile{name, kEmptySha, 0, 0})) << name;
  }
  EXPECT_FALSE(current_or_stuck(client.path(), ManifestFile{"bin/to_abc", kAbcSha, 3, 0}));
  std::string digest;
  EXPECT_FALSE(sha256_file(client / L"bin/to_abc", digest));
  EXPECT_TRUE(sha256_file(outside / L"abc", digest));
}

}  // namespace
}  // namespace corvane
