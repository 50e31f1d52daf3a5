// corvane-bench-chunk FILE
// Times the delta path's planning pass (chunking a local file with the default parameters, one
// SHA-256 per chunk) against the re-check's pass (one SHA-256 of the whole file) on the same file,
// each after the other has warmed the page cache, and prints both and their ratio.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "os/text.h"
#include "update/chunker.h"
#include "update/verification.h"

int main(int argc, char** argv) {
  using namespace corvane;
  if (argc != 2) {
    std::fputs("usage: corvane-bench-chunk FILE\n", stderr);
    return 2;
  }
  const std::wstring path = os::from_utf8(argv[1]);
  std::string sha;
  if (!sha256_file(path, sha)) return 1;  // warms the cache for both passes
  const auto timed = [](auto&& pass) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = pass();
    return ok ? std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() : -1.0;
  };
  std::vector<Chunk> chunks;
  const double hash = timed([&] { return sha256_file(path, sha); });
  const double chunk = timed([&] { return chunk_file(path, kDefaultChunkParams, chunks) == os::kErrorSuccess; });
  if (hash < 0 || chunk < 0) return 1;
  std::printf("re-check hash %.2f s, chunking %.2f s (%zu chunks): %.2fx\n", hash, chunk, chunks.size(), chunk / hash);
  return 0;
}
