// corvane-crash-safety: kills the engine's command line with SIGKILL at random points of an update
// and checks that the next run still brings the client folder to the release, byte for byte, with
// nothing left over. Run by tests/integration/crash_safety.sh, which prepares the releases.
//
//   corvane-crash-safety --cli PATH --cdn-root DIR --old-source DIR --new-source DIR --work DIR
//                        [--kills N] [--seed S] [--slow-bps N]
//
// Each round starts from a copy of the older release's client folder and updates it to the newer
// release served (from DIR/release) by the test CDN on 127.0.0.1, whose bodies are slowed down to
// widen the download window. One to three runs of the round are killed, each at a phase chosen at
// random: at a random percentage of the download, right after the download (verification), or once
// backups of replaced files exist (replacement). Then a run is let finish; the folder must hold
// every file of the newer release byte for byte, the files of the older release that the newer one
// does not list, and nothing else (no backups, no staging folder); one more run must find it
// current. The exit code is 0 when every round converged.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_cdn.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Options {
  std::string cli;
  fs::path cdn_root;
  fs::path old_source;
  fs::path new_source;
  fs::path work;
  int kills = 36;
  unsigned seed = 1;
  std::uint64_t slow_bps = 2000000;
};

// Where a kill is aimed at; where it landed is read from the console and the disk afterwards.
enum class Phase { Download, Verify, Replace };
const char* phase_name(Phase p) {
  switch (p) {
    case Phase::Download: return "download";
    case Phase::Verify: return "verification";
    case Phase::Replace: return "replacement";
  }
  return "?";
}

// Where a killed run was: 0 downloading, 1 after the download but before any backup (verifying,
// unpacking, looking for programs to close), 2 replacing (backups exist), 3 cleaning up after the
// final line.
constexpr const char* kLandedNames[] = {"download", "verification", "replacement", "clean-up"};

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool same_content(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::file_size(a, ec) != fs::file_size(b, ec) || ec) return false;
  std::ifstream fa(a, std::ios::binary);
  std::ifstream fb(b, std::ios::binary);
  std::vector<char> ba(1 << 20);
  std::vector<char> bb(1 << 20);
  while (fa && fb) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount() || std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(fa.gcount())) != 0) {
      return false;
    }
  }
  return fa.eof() && fb.eof();
}

// Relative path -> file, for every file below `root`.
std::map<std::string, fs::path> files_below(const fs::path& root) {
  std::map<std::string, fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file() || e.is_symlink()) files[fs::relative(e.path(), root).string()] = e.path();
  }
  return files;
}

int count_backups(const fs::path& client) {
  int n = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(client, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > 8 && name.compare(name.size() - 8, 8, ".crvnold") == 0) ++n;
  }
  return n;
}

// Differences between the client folder and what it must hold; empty when it is right.
std::vector<std::string> differences(const fs::path& client, const std::map<std::string, fs::path>& expected) {
  std::vector<std::string> problems;
  const auto actual = files_below(client);
  for (const auto& [relative, source] : expected) {
    const auto found = actual.find(relative);
    if (found == actual.end()) {
      problems.push_back("missing " + relative);
    } else if (!same_content(found->second, source)) {
      problems.push_back("differs " + relative);
    }
  }
  for (const auto& [relative, path] : actual) {
    if (!expected.contains(relative)) problems.push_back("stray " + relative);
  }
  if (fs::exists(client / "update")) problems.push_back("staging folder left");
  return problems;
}

class Child {
 public:
  Child(const Options& options, const std::string& base_url, const fs::path& client, const fs::path& out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> args = {options.cli, "--base-url", base_url, client.string()};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, options.cli.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ > 0 && !exited_) kill_now();
  }

  bool started() const { return pid_ > 0; }
  // The exit code once the child has ended on its own; nullopt while it runs.
  std::optional<int> poll() {
    if (exited_) return code_;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      exited_ = true;
      code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return code_;
    }
    return std::nullopt;
  }
  int wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    exited_ = true;
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return code_;
  }
  void kill_now() {
    ::kill(pid_, SIGKILL);
    wait();
  }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  int code_ = -1;
};

// The last percentage of the console progress line so far; -1 before the download.
int last_percent(const std::string& console) {
  const std::size_t at = console.rfind("Obnovlenie: ");
  if (at == std::string::npos || console.find("faylov", at) == std::string::npos) return -1;
  return std::atoi(console.c_str() + at + 12);
}

struct Tally {
  int kills[4] = {0, 0, 0, 0};  // by kLandedNames
  int total() const { return kills[0] + kills[1] + kills[2] + kills[3]; }
  int missed = 0;
  int rounds = 0;
  int converged = 0;
};

// Starts a run and kills it at `phase`; false when the run ended before that point ("missed").
bool run_and_kill(const Options& options, const std::string& base_url, const fs::path& client, Phase phase,
                  std::chrono::milliseconds replace_window, std::mt19937& random, Tally& tally) {
  const fs::path out = options.work / "killed.out";
  Child child(options, base_url, client, out);
  if (!child.started()) {
    std::fprintf(stderr, "cannot start %s\n", options.cli.c_str());
    std::exit(2);
  }
  const int target_percent = static_cast<int>(random() % 100);
  const auto settle = std::chrono::milliseconds(
      random() % static_cast<unsigned>(phase == Phase::Replace ? std::max<long long>(replace_window.count(), 1) : 40));
  const auto deadline = Clock::now() + 120s;
  for (;;) {
    if (const auto code = child.poll()) {
      ++tally.missed;
      std::printf("    aimed at %-12s missed: the run ended first (exit %d)\n", phase_name(phase), *code);
      return false;
    }
    const std::string console = read_all(out);
    bool hit = false;
    switch (phase) {
      case Phase::Download: hit = last_percent(console) >= target_percent; break;
      case Phase::Verify: hit = console.find("faylov\n") != std::string::npos; break;
      // Backups of an earlier killed run are there until this run's start removes them; its own
      // come only after its download.
      case Phase::Replace: hit = console.find("faylov\n") != std::string::npos && count_backups(client) > 0; break;
    }
    if (hit) break;
    if (Clock::now() > deadline) {
      std::fprintf(stderr, "the run did not reach the %s phase:\n%s\n", phase_name(phase), console.c_str());
      std::exit(2);
    }
    std::this_thread::sleep_for(1ms);
  }
  if (phase != Phase::Download) std::this_thread::sleep_for(settle);
  child.kill_now();
  const std::string console = read_all(out);
  const int backups = count_backups(client);
  // Backups seen before the kill and gone after it: the run had replaced everything.
  const bool after_replacement = console.find("Klient obnovlen") != std::string::npos ||
                                 (phase == Phase::Replace && backups == 0);
  const int landed = console.find("faylov\n") == std::string::npos ? 0
                     : after_replacement                             ? 3
                     : backups > 0                                   ? 2
                                                                     : 1;
  ++tally.kills[landed];
  const std::size_t staged = fs::exists(client / "update")
                                 ? static_cast<std::size_t>(std::distance(fs::directory_iterator(client / "update"),
                                                                          fs::directory_iterator()))
                                 : 0;
  std::printf("    aimed at %-12s killed in %-12s", phase_name(phase), kLandedNames[landed]);
  if (phase == Phase::Download) std::printf(" at %d%% (aimed at %d%%)", last_percent(console), target_percent);
  if (phase != Phase::Download) std::printf(" %lld ms after it began", static_cast<long long>(settle.count()));
  std::printf(": %d backups, %zu staging files\n", backups, staged);
  return true;
}

void copy_tree(const fs::path& from, const fs::path& to) {
  fs::remove_all(to);
  fs::create_directories(to);
  fs::copy(from, to, fs::copy_options::recursive);
}

// How long the backups of an uninterrupted update exist: the window of the replacement kills.
std::chrono::milliseconds measure_replacement(const Options& options, const std::string& base_url,
                                              const fs::path& client) {
  copy_tree(options.old_source, client);
  Child child(options, base_url, client, options.work / "measure.out");
  std::optional<Clock::time_point> first;
  Clock::time_point last = Clock::now();
  while (!child.poll()) {
    if (count_backups(client) > 0) {
      last = Clock::now();
      if (!first) first = last;
    }
    std::this_thread::sleep_for(1ms);
  }
  return first ? std::chrono::duration_cast<std::chrono::milliseconds>(last - *first) + 1ms : 1ms;
}

int finish_run(const Options& options, const std::string& base_url, const fs::path& client, std::string& console) {
  const fs::path out = options.work / "final.out";
  Child child(options, base_url, client, out);
  const int code = child.wait();
  console = read_all(out);
  return code;
}

bool parse_args(int argc, char** argv, Options& o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    const char* v = argv[i + 1];
    if (arg == "--cli") o.cli = v;
    else if (arg == "--cdn-root") o.cdn_root = v;
    else if (arg == "--old-source") o.old_source = v;
    else if (arg == "--new-source") o.new_source = v;
    else if (arg == "--work") o.work = v;
    else if (arg == "--kills") o.kills = std::atoi(v);
    else if (arg == "--seed") o.seed = static_cast<unsigned>(std::strtoul(v, nullptr, 10));
    else if (arg == "--slow-bps") o.slow_bps = std::strtoull(v, nullptr, 10);
    else return false;
  }
  return argc % 2 == 1 && !o.cli.empty() && !o.cdn_root.empty() && !o.old_source.empty() &&
         !o.new_source.empty() && !o.work.empty() && o.kills > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse_args(argc, argv, options)) {
    std::fputs("usage: corvane-crash-safety --cli PATH --cdn-root DIR --old-source DIR --new-source DIR --work DIR\n"
               "                            [--kills N] [--seed S] [--slow-bps N]\n",
               stderr);
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  fs::create_directories(options.work);
  // The runs' update lock lives in the work folder, away from other programs' runs.
  setenv("XDG_RUNTIME_DIR", fs::absolute(options.work).c_str(), 1);

  // What the folder must hold in the end: the older release's files, overlaid by the newer ones.
  std::map<std::string, fs::path> expected = files_below(options.old_source);
  for (const auto& [relative, path] : files_below(options.new_source)) expected[relative] = path;

  corvane::test_cdn::Server server;
  if (!server.start(options.cdn_root.string())) {
    std::fputs("the test CDN cannot listen\n", stderr);
    return 2;
  }
  server.add_fault({.kind = corvane::test_cdn::FaultKind::kSlowBody, .path = "", .status = 0, .bytes = 0,
                    .bytes_per_second = options.slow_bps});
  const std::string base_url = server.base_url();
  std::printf("seed %u, CDN %s, bodies at %llu bytes/s per request\n", options.seed, base_url.c_str(),
              static_cast<unsigned long long>(options.slow_bps));

  const auto replace_window = measure_replacement(options, base_url, options.work / "client");
  std::printf("backups exist for %lld ms of an update that is not interrupted\n",
              static_cast<long long>(replace_window.count()));

  std::mt19937 random(options.seed);
  Tally tally;
  const fs::path client = options.work / "client";
  int failures = 0;
  // Runs that end before any kill lands (a release they refuse, say) would never reach the count:
  // the rounds are bounded too, and running out of them fails.
  const int max_rounds = 4 * options.kills + 10;
  while (tally.total() < options.kills) {
    if (tally.rounds == max_rounds) {
      std::printf("STOPPED: %d rounds landed only %d of %d kills\n", tally.rounds, tally.total(), options.kills);
      ++failures;
      break;
    }
    ++tally.rounds;
    copy_tree(options.old_source, client);
    const int runs = 1 + static_cast<int>(random() % 3);
    std::printf("round %d: %d killed run(s)\n", tally.rounds, runs);
    // Later runs of a round continue where the killed ones stopped, so their phases come in order.
    std::vector<Phase> phases;
    for (int k = 0; k < runs; ++k) {
      const auto pick = random() % 10;
      phases.push_back(pick < 4 ? Phase::Download : pick < 7 ? Phase::Verify : Phase::Replace);
    }
    std::sort(phases.begin(), phases.end());
    for (const Phase phase : phases) {
      if (!run_and_kill(options, base_url, client, phase, replace_window, random, tally)) break;
    }
    std::string console;
    const int code = finish_run(options, base_url, client, console);
    std::vector<std::string> problems = differences(client, expected);
    if (code != 0 && code != 1) problems.push_back("the finishing run exited with " + std::to_string(code));
    std::string again;
    const int recheck = finish_run(options, base_url, client, again);
    if (recheck != 0) problems.push_back("the run after it exited with " + std::to_string(recheck));
    if (problems.empty()) {
      ++tally.converged;
      std::printf("  converged (finishing run exit %d, then %d)\n", code, recheck);
    } else {
      ++failures;
      std::printf("  DID NOT CONVERGE:\n");
      for (const std::string& p : problems) std::printf("    %s\n", p.c_str());
      std::printf("  console of the finishing run:\n%s\n", console.c_str());
    }
  }
  server.stop();
  std::printf("kills: %d in download, %d in verification, %d in replacement, %d in clean-up (%d total); "
              "%d aimed kills missed; %d of %d rounds converged\n",
              tally.kills[0], tally.kills[1], tally.kills[2], tally.kills[3], tally.total(), tally.missed,
              tally.converged, tally.rounds);
  return failures == 0 ? 0 : 1;
}
