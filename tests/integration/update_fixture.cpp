#include "integration/update_fixture.h"

#include <algorithm>

#include "base/paths.h"
#include "os/fs.h"
#include "os/platform.h"
#include "os/text.h"
#include "release_builder/lzms_pack.h"
#include "release_builder/release.h"
#include "update/cleanup.h"

namespace corvane::test {
namespace {

void collect(const std::wstring& dir, const std::string& prefix, Tree& out) {
  std::vector<os::DirEntry> entries;
  if (!os::list_directory(dir, entries)) return;
  for (const os::DirEntry& e : entries) {
    const std::string name = prefix + os::to_utf8(e.name);
    if (e.info.is_directory) {
      collect(join_path(dir, e.name), name + "/", out);
    } else {
      out[name] = read_text(join_path(dir, e.name));
    }
  }
}

void write_tree(const std::wstring& root, const Tree& tree) {
  for (const auto& [relative, content] : tree) {
    const std::wstring path = join_path(root, os::from_utf8(relative));
    make_dirs(parent_dir(path));
    write_text(path, content);
  }
}

}  // namespace

Tree older_release() {
  Tree tree = small_release(1);
  tree["bin/old_only.dll"] = noise(9000, 21);
  return tree;
}

Tree newer_release() {
  Tree tree = small_release(2);
  tree["bin/added.dll"] = noise(12000, 22);
  tree["data/ngtables/dup_c.dat"] = tree["bin/dup_a.dat"];
  return tree;
}

Tree overlay(Tree below, const Tree& above) {
  for (const auto& [path, content] : above) below[path] = content;
  return below;
}

Tree without_staging(Tree tree) {
  std::erase_if(tree, [](const auto& file) { return file.first.rfind("update/", 0) == 0; });
  return tree;
}

std::string describe(const Tree& tree) {
  std::string text;
  for (const auto& [path, content] : tree) text += "  " + path + " (" + std::to_string(content.size()) + " bytes)\n";
  return text;
}

Tree small_release(int variant) {
  const auto v = static_cast<std::uint32_t>(variant);
  const std::string shared = noise(5000, 5);
  return Tree{
      {"Corvane.exe", prose(150000, 1 + v)},
      {"uninstall.exe", noise(3000, 2)},
      {"bin/core.dll", noise(70000, 3 + 100 * v)},
      {"bin/sub/ui.dll", noise(20000, 4)},
      {"bin/dup_a.dat", shared},
      {"bin/empty.cfg", ""},
      {"data/ngtables/dup_b.dat", shared},
      {"data/ngtables/table.bin", prose(40000, 6 + 100 * v)},
  };
}

void UpdateRunTest::SetUp() {
  make_dirs(work_ / L"cdn");
  ASSERT_TRUE(server_.start(os::to_utf8(work_ / L"cdn")));
}

void UpdateRunTest::TearDown() { server_.stop(); }

void UpdateRunTest::publish(const Tree& tree, const std::string& version, const std::string& date,
                            const std::vector<std::string>& pack_globs, const std::string& channel) {
  const std::wstring source = work_ / L"source";
  const std::wstring out = work_ / (L"cdn/" + os::from_utf8(channel));
  remove_all(source);
  remove_all(out);
  write_tree(source, tree);
  tools::ReleaseOptions options;
  options.source = source;
  options.out = out;
  options.version = version;
  options.date = date;
  // A build without an LZMS encoder (Windows) publishes every file unpacked.
  if (tools::lzms_packing_available()) options.pack_globs = pack_globs;
  options.chunk_globs = chunk_globs_;
  options.signing = signing_;
  std::string error;
  ASSERT_TRUE(tools::build_release(options, files_, error)) << error;
}

void UpdateRunTest::publish_manifest(const std::string& text, const std::string& channel) {
  const std::wstring folder = work_ / (L"cdn/" + os::from_utf8(channel));
  make_dirs(folder);
  std::string error;
  ASSERT_TRUE(tools::publish_manifest(folder, text, signing_, error)) << error;
}

std::wstring UpdateRunTest::published(const std::string& manifest_path) const {
  return work_ / (L"cdn/release/" + os::from_utf8(file_url_path(entry(manifest_path))));
}

std::uint32_t UpdateRunTest::run(ProgressCallback progress, const std::wstring& self_path,
                                 const std::string& channel) {
  ::testing::internal::CaptureStdout();
  const std::uint32_t code =
      run_update_with_roots(server_.base_url(), roots_, client_dir(), self_path, &result_, progress, channel);
  console_ = ::testing::internal::GetCapturedStdout();
  return code;
}

std::uint64_t UpdateRunTest::release_requests(const std::string& channel) const {
  std::uint64_t requests = server_.totals().requests;
  for (const char* name : {"manifest.json.sig", "keys.json", "keys.json.sig"}) {
    requests -= server_.counters("/" + channel + "/" + name).requests;
  }
  return requests;
}

Tree UpdateRunTest::client_tree() const {
  Tree tree;
  collect(client_dir(), "", tree);
  return tree;
}

std::wstring UpdateRunTest::client_path(const std::string& relative) const {
  // '/' becomes the platform's separator, as the engine writes it
  std::wstring path = client_dir() + os::kSep;
  for (const wchar_t c : os::from_utf8(relative)) path.push_back(c == L'/' ? os::kSep : c);
  return path;
}

void UpdateRunTest::put_client_file(const std::string& relative, const std::string& content) {
  const std::wstring path = client_path(relative);
  make_dirs(parent_dir(path));
  write_text(path, content);
}

bool UpdateRunTest::staging_exists() const { return os::file_info(staging_dir_for(client_dir())).has_value(); }

std::vector<std::string> UpdateRunTest::staging_files() const {
  std::vector<std::string> names;
  std::vector<os::DirEntry> entries;
  if (os::list_directory(staging_dir_for(client_dir()), entries)) {
    for (const os::DirEntry& e : entries) names.push_back(os::to_utf8(e.name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

test_cdn::PathCounters UpdateRunTest::fetched(const std::string& manifest_path) const {
  return server_.counters("/release/" + file_url_path(entry(manifest_path)));
}

test_cdn::PathCounters UpdateRunTest::manifest_fetches(const std::string& channel) const {
  return server_.counters("/" + channel + "/manifest.json");
}

const ManifestFile& UpdateRunTest::entry(const std::string& manifest_path) const {
  const auto found = std::find_if(files_.begin(), files_.end(),
                                  [&](const ManifestFile& f) { return f.path == manifest_path; });
  if (found == files_.end()) {
    ADD_FAILURE() << "not in the manifest: " << manifest_path;
    static const ManifestFile none;
    return none;
  }
  return *found;
}

}  // namespace corvane::test
