// corvane-bench-download --base-url URL --list FILE --staging DIR [--threads N] [--map FILE]
// Downloads the files of LIST (lines "<size> <path>", paths relative to the channel, served as
// files/<path>) the way the update run does: range probe of the largest file, planning into DIR,
// the download pool with N workers (default 8). Prints the pool's time and throughput, and writes
// "<staging file>\t<path>" lines to the map file so that the script can compare the results.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "net/download_plan.h"
#include "net/download_pool.h"
#include "net/http_client.h"
#include "os/text.h"

namespace {

using namespace corvane;

int usage() {
  std::fprintf(stderr,
               "usage: corvane-bench-download --base-url URL --list FILE --staging DIR [--threads N] [--map FILE]\n");
  return 2;
}

std::string fake_sha256(std::size_t index) {
  char tail[17];
  std::snprintf(tail, sizeof tail, "%016zx", index);
  return std::string(48, 'b') + tail;
}

}  // namespace

int main(int argc, char** argv) {
  std::string base_url, list_path, staging, map_path;
  unsigned threads = 8;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const char* value = argv[i + 1];
    if (key == "--base-url") base_url = value;
    else if (key == "--list") list_path = value;
    else if (key == "--staging") staging = value;
    else if (key == "--map") map_path = value;
    else if (key == "--threads") threads = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
    else return usage();
  }
  if (argc % 2 == 0 || base_url.empty() || list_path.empty() || staging.empty() || threads == 0) return usage();

  std::vector<ManifestFile> files;
  std::ifstream list(list_path);
  std::string line;
  while (std::getline(list, line)) {
    std::istringstream fields(line);
    unsigned long long size = 0;
    std::string path;
    if (!(fields >> size >> path)) continue;
    files.push_back(ManifestFile{path, fake_sha256(files.size()), static_cast<std::uint32_t>(size), 0});
  }
  if (files.empty()) return usage();

  UrlParts url;
  if (!split_url(base_url, url)) {
    std::fprintf(stderr, "bad base URL\n");
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  const ManifestFile* largest = &files.front();
  for (const ManifestFile& f : files) {
    if (download_size(f) > download_size(*largest)) largest = &f;
  }
  const bool ranges_ok = download_size(*largest) >= kRangedMinimum && probe_range_support(url, file_url_path(*largest));

  FileTable table;
  DownloadPool pool;
  PlanFailure failure;
  if (!plan_downloads(files, ranges_ok, os::from_utf8(staging), table, pool, failure)) {
    std::fprintf(stderr, "planning failed for %s (code %u)\n", failure.file.c_str(), failure.error_code);
    return 1;
  }
  const auto planned = std::chrono::steady_clock::now();
  run_download_pool(url, pool, threads, table, &write_part_data, nullptr, nullptr);
  const auto finished = std::chrono::steady_clock::now();
  close_download_files(table);

  if (!map_path.empty()) {
    std::ofstream map(map_path);
    for (const auto& [path, file] : table.files) map << os::to_utf8(file.data_path) << '\t' << path << '\n';
  }
  const double pool_seconds = std::chrono::duration<double>(finished - planned).count();
  const double total_seconds = std::chrono::duration<double>(finished - start).count();
  std::printf("ranges %s, %zu parts, %u done, %u failed, %llu bytes, pool %.3f s (%.1f MB/s), with planning %.3f s\n",
              ranges_ok ? "yes" : "no", pool.parts.size(), pool.parts_done.load(), pool.parts_failed.load(),
              static_cast<unsigned long long>(table.bytes_total), pool_seconds,
              static_cast<double>(table.bytes_total) / 1e6 / pool_seconds, total_seconds);
  return pool.parts_failed.load() == 0 ? 0 : 1;
}
