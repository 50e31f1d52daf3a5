#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/test_signing.h"
#include "support/test_content.h"
#include "test_cdn.h"
#include "update/manifest.h"
#include "update/update_run.h"

// The update run end to end: releases built with the release builder from a client tree, served
// by the in-process test CDN on 127.0.0.1, and installed into a temporary client folder.
namespace corvane::test {

// Client-relative path ('/'-separated, "uninstall.exe" at the top) -> content.
using Tree = std::map<std::string, std::string>;

// A small release: two packed files (Corvane.exe and data/ngtables/table.bin), the uninstaller,
// two files with equal content, an empty file and a few others. `variant` changes the contents of
// Corvane.exe, bin/core.dll and data/ngtables/table.bin only.
Tree small_release(int variant);

// Two releases for updates that are cut short: from the first to the second a file changes, one is
// added, a packed one changes, one goes and two entries share one content.
Tree older_release();
Tree newer_release();

// `below` with the files of `above` put over it.
Tree overlay(Tree below, const Tree& above);
// The client's files without the staging folder (which keeps downloads for the next run).
Tree without_staging(Tree tree);
// One line per file, with its size: what a failure message shows of a tree.
std::string describe(const Tree& tree);

class UpdateRunTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Builds `tree` into the channel folder (replacing what was there) with the files matching
  // `pack_globs` packed (none where this build cannot pack); `files_` receives the manifest entries.
  void publish(const Tree& tree, const std::string& version = "1.0.0", const std::string& date = "",
               const std::vector<std::string>& pack_globs = {"Corvane.exe", "data/ngtables/*.bin"},
               const std::string& channel = "release");
  // Replaces the channel's manifest.json with `text` (signed as signing_ says).
  void publish_manifest(const std::string& text, const std::string& channel = "release");
  // The channel folder's copy of a published file: files/<path>[.lzms].
  std::wstring published(const std::string& manifest_path) const;

  // One run against the test CDN with its console output captured into console_.
  std::uint32_t run(ProgressCallback progress = {}, const std::wstring& self_path = {},
                    const std::string& channel = "release");

  // Every file below the client folder (staging folder and backups included) with its content.
  Tree client_tree() const;
  std::wstring client_path(const std::string& relative) const;
  void put_client_file(const std::string& relative, const std::string& content);
  bool staging_exists() const;
  std::vector<std::string> staging_files() const;

  // The server's counters for the download of a manifest entry, and for the manifest.
  test_cdn::PathCounters fetched(const std::string& manifest_path) const;
  test_cdn::PathCounters manifest_fetches(const std::string& channel = "release") const;
  const ManifestFile& entry(const std::string& manifest_path) const;
  // The server's requests but those for the channel's signature files and key list, which every
  // run past the manifest makes: the manifest and the files.
  std::uint64_t release_requests(const std::string& channel = "release") const;

  TempDir runtime_;  // the update lock lives here, away from other programs' runs
  ScopedEnv runtime_env_{"XDG_RUNTIME_DIR", runtime_.utf8()};
  TempDir work_;     // cdn/<channel>/ and the release sources
  TempDir client_;   // the client folder the runs update, unless client_override_ names another
  std::wstring client_override_;
  const std::wstring& client_dir() const { return client_override_.empty() ? client_.path() : client_override_; }
  test_cdn::Server server_;
  std::vector<ManifestFile> files_;
  std::vector<std::string> chunk_globs_;  // files that publish() gives a chunk index
  // How publish() and publish_manifest() sign the channel, and the roots the runs trust.
  tools::Signing signing_ = channel_signing();
  TrustRoots roots_ = test_roots();
  UpdateResult result_;
  std::string console_;
};

}  // namespace corvane::test
