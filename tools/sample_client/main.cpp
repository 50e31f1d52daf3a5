// corvane-sample-client --out DIR [--large-mib N] [--small N] [--variant K]
// corvane-sample-client --version
// Writes a client folder of made-up but deterministic content: the same arguments always give the
// same bytes, so a release built from it can be cached under the generator's version. The folder
// holds what the update engine meets in a real client:
//   Corvane.exe                    4 MiB of text-like bytes (meant to be packed)
//   uninstall.exe                  1 MiB (published as bin/uninstall.exe)
//   bin/game/pakNN.pak             files of 16-40 MiB adding up to about N MiB (default 300)
//   bin/lib/modNNN.dll             N small files of 1-128 KiB (default 300)
//   bin/scripts/scriptNN.lua       24 text files of 32-256 KiB (meant to be packed)
//   bin/empty.cfg                  an empty file
//   bin/lib/shared.dat and data/ngtables/shared.dat   two files with equal content (2 MiB)
//   data/ngtables/tableNN.bin      8 files of 1-4 MiB
//   bin/lib/extra_vK.dll           one file that only variant K has
// Variant K (default 1) changes Corvane.exe, the first .pak, every tenth small file, the first
// script and the first table, so that two variants make an older and a newer release.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "tool_entry.h"
#include "base/paths.h"
#include "os/file.h"
#include "os/fs.h"
#include "os/text.h"

namespace {

// Bumped whenever the output for the same arguments changes; caches of generated releases are
// keyed by it.
constexpr int kGeneratorVersion = 1;
constexpr std::uint64_t kMiB = 1048576;
constexpr std::size_t kChunk = 1 << 20;

// xorshift64*: fast, and the same on every machine.
class Random {
 public:
  explicit Random(std::uint64_t seed) : x_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {
    if (x_ == 0) x_ = 1;
  }
  std::uint64_t next() {
    x_ ^= x_ >> 12;
    x_ ^= x_ << 25;
    x_ ^= x_ >> 27;
    return x_ * 0x2545F4914F6CDD1Dull;
  }

 private:
  std::uint64_t x_;
};

enum class Kind { Noise, Text };

// Fills `out` with the next bytes of the stream: noise does not compress; text is words from a
// small vocabulary, which LZMS packs about three to four times.
void fill(Random& random, Kind kind, std::uint8_t* out, std::size_t size) {
  static constexpr std::string_view kWords[] = {
      "local ", "function ", "return ", "end\n", "player ", "vehicle ", "= ", "if ", "then ", "nil ",
      "for ", "in ", "pairs(", ") ", "do\n", "self.", "update", "(", "true", "false", ", ", "  ",
      "resource ", "event ", "server ", "client ", "weapon ", "spawn ", "0.5 ", "100 ", "\"name\" ", "-- "};
  std::size_t i = 0;
  if (kind == Kind::Noise) {
    for (; i + 8 <= size; i += 8) {
      const std::uint64_t r = random.next();
      for (int k = 0; k < 8; ++k) out[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
    }
    for (; i < size; ++i) out[i] = static_cast<std::uint8_t>(random.next());
    return;
  }
  while (i < size) {
    const std::string_view word = kWords[random.next() % std::size(kWords)];
    const std::size_t n = std::min(word.size(), size - i);
    std::copy_n(word.data(), n, out + i);
    i += n;
  }
}

bool write_generated(const std::wstring& root, const std::string& relative, std::uint64_t size, Kind kind,
                     std::uint64_t seed) {
  const std::wstring path = corvane::join_path(root, corvane::os::from_utf8(relative));
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i] == L'/') (void)corvane::os::create_directory(path.substr(0, i));
  }
  corvane::os::File file;
  if (file.open(path, corvane::os::OpenMode::WriteTruncate) != corvane::os::kErrorSuccess) {
    std::fprintf(stderr, "corvane-sample-client: cannot create %s\n", relative.c_str());
    return false;
  }
  Random random(seed);
  const auto buffer = std::make_unique<std::uint8_t[]>(kChunk);
  for (std::uint64_t done = 0; done < size;) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - done));
    fill(random, kind, buffer.get(), n);
    if (file.write(buffer.get(), n) != corvane::os::kErrorSuccess) {
      std::fprintf(stderr, "corvane-sample-client: cannot write %s\n", relative.c_str());
      return false;
    }
    done += n;
  }
  return true;
}

std::string numbered(const char* prefix, unsigned n, int width, const char* suffix) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*u", width, n);
  return std::string(prefix) + text + suffix;
}

bool generate(const std::wstring& root, std::uint64_t large_mib, unsigned small_count, unsigned variant) {
  const std::uint64_t v = variant;
  // A seed per file and variant; files that variants share ignore the variant.
  const auto seed = [](std::uint64_t file, std::uint64_t changes_with) { return file * 1000003 + changes_with; };
  bool ok = write_generated(root, "Corvane.exe", 4 * kMiB, Kind::Text, seed(1, v)) &&
            write_generated(root, "uninstall.exe", kMiB, Kind::Noise, seed(2, 0)) &&
            write_generated(root, "bin/empty.cfg", 0, Kind::Noise, 0) &&
            write_generated(root, "bin/lib/shared.dat", 2 * kMiB, Kind::Noise, seed(3, 0)) &&
            write_generated(root, "data/ngtables/shared.dat", 2 * kMiB, Kind::Noise, seed(3, 0)) &&
            write_generated(root, "bin/lib/extra_v" + std::to_string(variant) + ".dll", 65536, Kind::Noise,
                            seed(4, v));
  std::uint64_t large_done = 0;
  for (unsigned i = 0; ok && large_done < large_mib * kMiB; ++i) {
    const std::uint64_t size = (16 + 8 * ((i * 7) % 4)) * kMiB;
    ok = write_generated(root, numbered("bin/game/pak", i, 2, ".pak"), size, Kind::Noise, seed(100 + i, i == 0 ? v : 0));
    large_done += size;
  }
  for (unsigned i = 0; ok && i < small_count; ++i) {
    const std::uint64_t size = 1024 + (std::uint64_t{i} * 7919) % (127 * 1024);
    ok = write_generated(root, numbered("bin/lib/mod", i, 3, ".dll"), size, Kind::Noise,
                         seed(1000 + i, i % 10 == 0 ? v : 0));
  }
  for (unsigned i = 0; ok && i < 24; ++i) {
    const std::uint64_t size = (32 + (i * 37) % 225) * 1024;
    ok = write_generated(root, numbered("bin/scripts/script", i, 2, ".lua"), size, Kind::Text,
                         seed(5000 + i, i == 0 ? v : 0));
  }
  for (unsigned i = 0; ok && i < 8; ++i) {
    const std::uint64_t size = (1 + i % 4) * kMiB;
    ok = write_generated(root, numbered("data/ngtables/table", i, 2, ".bin"), size, Kind::Noise,
                         seed(6000 + i, i == 0 ? v : 0));
  }
  return ok;
}

bool parse_number(const char* text, unsigned long max, unsigned long& value) {
  char* end = nullptr;
  if (*text < '0' || *text > '9') return false;
  value = std::strtoul(text, &end, 10);
  return *end == '\0' && value <= max;
}

int usage() {
  std::fputs("usage: corvane-sample-client --out DIR [--large-mib N] [--small N] [--variant K]\n"
             "       corvane-sample-client --version\n",
             stderr);
  return 2;
}

}  // namespace

int tool_main(const std::vector<std::string>& args) {
  const int argc = static_cast<int>(args.size());
  std::string out;
  unsigned long large_mib = 300;
  unsigned long small_count = 300;
  unsigned long variant = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = args[i];
    if (arg == "--version") {
      std::printf("%d\n", kGeneratorVersion);
      return 0;
    }
    if (i + 1 >= argc) return usage();
    const char* value = args[++i].c_str();
    if (arg == "--out") {
      out = value;
    } else if (arg == "--large-mib") {
      if (!parse_number(value, 16384, large_mib)) return usage();
    } else if (arg == "--small") {
      if (!parse_number(value, 999, small_count)) return usage();
    } else if (arg == "--variant") {
      if (!parse_number(value, 1000000, variant)) return usage();
    } else {
      return usage();
    }
  }
  if (out.empty()) return usage();
  const std::wstring root = corvane::os::from_utf8(out);
  if (corvane::os::file_info(root)) {
    std::fprintf(stderr, "corvane-sample-client: %s exists already\n", out.c_str());
    return 1;
  }
  if (corvane::os::create_directory(root) != corvane::os::kErrorSuccess) {
    std::fprintf(stderr, "corvane-sample-client: cannot create %s\n", out.c_str());
    return 1;
  }
  return generate(root, large_mib, static_cast<unsigned>(small_count), static_cast<unsigned>(variant)) ? 0 : 1;
}
