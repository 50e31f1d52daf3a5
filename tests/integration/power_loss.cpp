// corvane-power-loss: cuts the power under the engine's command line at random points of an update
// and checks what the disk holds afterwards. The client folder lies on corvane-power-cut-fs, which
// forgets at a cut whatever was not made durable (file contents since their last flush; in strict
// mode also folder entries since the folder's last flush); unmounting and mounting it again is the
// reboot. Run by tests/integration/power_loss.sh; Linux, as root.
//
//   corvane-power-loss --cli PATH --work DIR [--cuts N] [--seed S] [--large-mib M]
//
// Each round installs the first release (r0, with a file of the user's own in every folder) and
// updates it along a chain of releases, r0 -> r1 -> r2 -> r1, each served as a channel of its own:
// changed, added and kept files, three entries of one content, packed files, a file fetched in
// ranges, a folder that becomes a file and a file that becomes a folder (and back). A first pass
// along the chain without a cut counts the file-system calls of each phase (download,
// verification, replacement, clean-up) of each update. In a round, any update of the chain may be
// cut, up to twice, each time at a call chosen at random within a phase chosen at random. After
// each cut, the reboot:
// - a run that had printed its success line must find that update's release in place;
// - a run without network (sometimes itself cut, and rebooted again) must leave exactly the release
//   the client had before that update or the one it was getting, the user's files as they were
//   (a folder that a file replaced kept whole beside it), and no backups;
// and at the end of each update a run with network must bring its release byte for byte, and one
// more run must find it current. The exit code is 0 when every round was sound.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "integration/power_cut_mount.h"
#include "os/text.h"
#include "release_builder/lzms_pack.h"
#include "release_builder/release.h"
#include "support/test_content.h"
#include "support/test_signing.h"
#include "test_cdn.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using corvane::test::PowerCutMount;
using corvane::test::PowerCutOptions;
using Tree = std::map<std::string, std::string>;

struct Options {
  std::string cli;
  fs::path work;
  int cuts = 150;
  unsigned seed = 1;
  unsigned large_mib = 20;
  bool delta = false;  // the large file changes in a few places and updates by its chunks
};

// ---- the releases ---------------------------------------------------------------------------

using corvane::test::noise;
using corvane::test::prose;

// The chain's releases. r1 changes, adds and packs; r2 turns the folder bin/x into a file and the
// file bin/p into a folder, and changes a few files again; the last step goes back to r1.
Tree release_0(unsigned large_mib) {
  const std::string shared = noise(30000, 5);
  return Tree{
      {"Corvane.exe", prose(400000, 1)},                     // packed, changed
      {"uninstall.exe", noise(3000, 2)},                     // unchanged
      {"bin/core.dll", noise(300000, 3)},                    // changed
      {"bin/same.dll", noise(80000, 4)},                     // unchanged
      {"bin/removed.dll", noise(20000, 6)},                  // not in the later releases
      {"bin/empty.cfg", ""},
      {"bin/dup_a.dat", shared},                             // one content, changed
      {"data/ngtables/dup_b.dat", shared},
      {"data/ngtables/table.bin", prose(200000, 7)},         // packed, changed
      {"bin/game.rpf", noise(std::size_t{large_mib} << 20, 8)},  // fetched in ranges, changed
      {"bin/x/y.dat", noise(4000, 10)},                      // a folder in r1, a file in r2
      {"bin/p", noise(4000, 11)},                            // a file in r1, a folder in r2
  };
}

Tree release_1(unsigned large_mib) {
  Tree tree = release_0(large_mib);
  tree.erase("bin/removed.dll");
  const std::string shared = noise(30000, 105);
  tree["Corvane.exe"] = prose(420000, 101);
  tree["bin/core.dll"] = noise(310000, 103);
  tree["bin/dup_a.dat"] = shared;
  tree["data/ngtables/dup_b.dat"] = shared;
  tree["bin/sub/dup_c.dat"] = shared;                   // added, a third entry of that content
  tree["bin/added.dll"] = noise(50000, 109);            // added
  tree["data/ngtables/table.bin"] = prose(210000, 107);
  tree["bin/game.rpf"] = noise(std::size_t{large_mib} << 20, 108);
  return tree;
}

// In delta mode the large file of each later release is the one before it with 64 KiB changed in
// each of 12 places, so that it updates by its chunks.
std::string patched(std::string large, unsigned seed) {
  for (std::size_t i = 1; i <= 12; ++i) large.replace(i * (large.size() / 13), 65536, noise(65536, seed + i));
  return large;
}

Tree release_1(unsigned large_mib, bool delta) {
  Tree tree = release_1(large_mib);
  if (delta) tree["bin/game.rpf"] = patched(release_0(large_mib).at("bin/game.rpf"), 200);
  return tree;
}

Tree release_2(unsigned large_mib, bool delta) {
  Tree tree = release_1(large_mib, delta);
  if (delta) tree["bin/game.rpf"] = patched(tree.at("bin/game.rpf"), 300);
  tree.erase("bin/x/y.dat");
  tree.erase("bin/p");
  tree["bin/x"] = noise(6000, 210);                     // the folder becomes a file
  tree["bin/p/q.dat"] = noise(6000, 211);               // the file becomes a folder
  tree["Corvane.exe"] = prose(430000, 201);
  tree["bin/core.dll"] = noise(320000, 203);
  tree["bin/r2.dll"] = noise(40000, 212);               // added
  return tree;
}

// A file of the user's own in every folder of the first release.
const Tree kUserFiles = {{"user.cfg", "volume=7\n"},          {"bin/user.cfg", "bin\n"},
                         {"bin/x/user.cfg", "in x\n"},        {"data/user.cfg", "data\n"},
                         {"data/ngtables/user.cfg", "tables\n"}};

Tree overlay(Tree below, const Tree& above) {
  for (const auto& [path, content] : above) below[path] = content;
  return below;
}

// What the client holds after an update to `release` from `before`: the release's files over the
// others, a file where the release needs a folder gone, and a folder where it has a file kept
// whole at that name + ".kept".
Tree updated(Tree before, const Tree& release) {
  for (const auto& [path, content] : release) {
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
      before.erase(path.substr(0, slash));
    }
    const std::string folder = path + "/";
    Tree kept;
    for (auto it = before.lower_bound(folder); it != before.end() && it->first.rfind(folder, 0) == 0;) {
      kept[path + ".kept/" + it->first.substr(folder.size())] = it->second;
      it = before.erase(it);
    }
    before.merge(kept);
  }
  return overlay(before, release);
}

void write_tree(const fs::path& root, const Tree& tree) {
  fs::remove_all(root);
  fs::create_directories(root);
  for (const auto& [relative, content] : tree) {
    const fs::path path = root / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
}

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Every file below `root` with its content; `only_client`: without the staging folder.
Tree read_tree(const fs::path& root, bool only_client) {
  Tree tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_directory()) continue;
    const std::string relative = fs::relative(it->path(), root).string();
    if (only_client && relative.rfind("update/", 0) == 0) continue;
    tree[relative] = read_all(it->path());
  }
  return tree;
}

bool is_backup(const std::string& path) { return path.size() > 8 && path.compare(path.size() - 8, 8, ".crvnold") == 0; }

Tree without_backups(Tree tree) {
  std::erase_if(tree, [](const auto& file) { return is_backup(file.first); });
  return tree;
}

// A folder that a file replaced is renamed from its backup name to "<name>.kept" by the clean-up
// after the replacement, which a cut may stop (the process then goes on, every call failing, and
// still prints its success line): the folder and the user's files in it are then under the
// backup's name until the next run's clean-up, which the run without network checks.
Tree with_folder_backups_kept(const Tree& tree) {
  Tree out;
  for (const auto& [path, content] : tree) {
    const auto backup = path.find(".crvnold/");
    out[backup == std::string::npos ? path : path.substr(0, backup) + ".kept" + path.substr(backup + 8)] = content;
  }
  return out;
}

// What differs between two trees, briefly.
std::string difference(const Tree& seen, const Tree& wanted) {
  std::string text;
  for (const auto& [path, content] : wanted) {
    const auto found = seen.find(path);
    if (found == seen.end()) text += " missing " + path + ";";
    else if (found->second != content) text += " differs " + path + ";";
  }
  for (const auto& [path, content] : seen) {
    if (!wanted.contains(path)) text += " stray " + path + ";";
  }
  return text;
}

// ---- runs of the engine ---------------------------------------------------------------------

struct Run {
  int exit_code = -1;  // -1: killed
  std::string console;
  std::optional<std::uint64_t> cut_at;
  bool printed_success() const { return console.find("[*] Klient obnovlen do versii") != std::string::npos; }
};

class Driver {
 public:
  explicit Driver(Options options)
      : o_(std::move(options)),
        mount_((o_.work / "back").string(), (o_.work / "mnt").string()),
        client_(o_.work / "mnt" / "client"),
        disk_(o_.work / "back" / "client"),
        random_(o_.seed) {}

  int main();

 private:
  // Mounts the file system as `options` say, runs the command line once against `base_url` and
  // unmounts: when the mount cuts, the process is killed first (the machine is off). What the disk
  // then holds is what the next mount (the reboot) finds: disk_ is read between runs.
  Run run(const std::string& base_url, const std::string& channel, const PowerCutOptions& options);
  std::string log_path() const { return (o_.work / "calls.log").string(); }
  std::vector<std::string> log_lines_to_cut() const;
  int phase_of_cut() const;
  void calibrate();
  void round();
  // One update of the chain in a round, from expected_[step] to expected_[step + 1].
  void update_step(std::size_t step);
  bool check(bool condition, const std::string& what) {
    if (!condition) {
      std::printf("    UNSOUND: %s\n", what.c_str());
      problems_ = true;
    }
    return condition;
  }
  void install_first() { write_tree(disk_, expected_.front()); }

  Options o_;
  PowerCutMount mount_;
  fs::path client_;  // as the program sees it, on the mount
  fs::path disk_;    // the same folder below the mount, read between runs
  std::mt19937 random_;
  corvane::test_cdn::Server server_;
  std::string online_;
  std::string offline_;
  // The channel of each update of the chain, and what the client holds before the first and after
  // each one.
  std::vector<std::string> channels_;
  std::vector<Tree> expected_;
  // The phases' anchors (log-line patterns) and how many calls each phase made in each update of
  // the first pass.
  struct Phase {
    const char* name;
    std::string anchor;  // empty: counted from the mount
    std::uint64_t first = 1;
    std::uint64_t last = 1;
  };
  std::vector<std::vector<Phase>> phases_;
  int landed_[4] = {0, 0, 0, 0};
  int offline_cuts_ = 0;
  int missed_ = 0;
  int rounds_ = 0;
  int sound_rounds_ = 0;
  bool problems_ = false;
};

const char* kDownloadEnd = R"(^release-w .*/update/[0-9a-f]{64}\.(raw|lzms|delta)$)";
const char* kJournal = R"(^create .*/update/replace\.journal\.tmp$)";
const char* kJournalGone = R"(^unlink .*/update/replace\.journal$)";

Run Driver::run(const std::string& base_url, const std::string& channel, const PowerCutOptions& options) {
  Run result;
  PowerCutOptions with_log = options;
  with_log.log = log_path();
  mount_.unmount();
  if (!mount_.mount(with_log)) {
    std::fprintf(stderr, "the power-cut file system did not mount\n");
    std::exit(2);
  }
  const fs::path out = o_.work / "run.out";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<std::string> args = {o_.cli, "--base-url", base_url, "--channel", channel, client_.string()};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, o_.cli.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", o_.cli.c_str());
    std::exit(2);
  }
  posix_spawn_file_actions_destroy(&actions);
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      break;
    }
    if (mount_.cut_at()) {
      // The power is off: the program does nothing more that counts.
      ::kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(1ms);
  }
  result.cut_at = mount_.cut_at();
  result.console = read_all(out);
  mount_.unmount();
  return result;
}

std::vector<std::string> Driver::log_lines_to_cut() const {
  std::vector<std::string> lines;
  std::istringstream log(read_all(log_path()));
  for (std::string line; std::getline(log, line);) {
    if (line.size() > 4 && line.compare(line.size() - 4, 4, " CUT") == 0) break;
    const auto space = line.find(' ');
    if (space != std::string::npos && line[0] != '#') lines.push_back(line.substr(space + 1));
  }
  return lines;
}

// Where the last run was cut: 0 download (and what comes before it), 1 verification, 2 replacement,
// 3 clean-up; read from the calls it had made.
int Driver::phase_of_cut() const {
  const std::regex download_end(kDownloadEnd), journal(kJournal), journal_gone(kJournalGone);
  int phase = 0;
  for (const std::string& line : log_lines_to_cut()) {
    if (phase < 1 && std::regex_search(line, download_end)) phase = 1;
    if (phase < 2 && std::regex_search(line, journal)) phase = 2;
    if (phase < 3 && std::regex_search(line, journal_gone)) phase = 3;
  }
  return phase;
}

void Driver::calibrate() {
  install_first();
  phases_.clear();
  for (std::size_t step = 0; step < channels_.size(); ++step) {
    const Run first = run(online_, channels_[step], {});
    if (first.exit_code != 1 || read_tree(disk_, false) != expected_[step + 1]) {
      std::fprintf(stderr, "update %zu of the chain without a cut did not bring its release (exit %d):%s\n%s\n", step + 1,
                   first.exit_code, difference(read_tree(disk_, false), expected_[step + 1]).c_str(),
                   first.console.c_str());
      std::exit(2);
    }
    std::vector<std::string> calls;
    std::istringstream log(read_all(log_path()));
    for (std::string line; std::getline(log, line);) {
      const auto space = line.find(' ');
      if (space != std::string::npos && line[0] != '#') calls.push_back(line.substr(space + 1));
    }
    const auto first_match = [&](const char* pattern) -> std::uint64_t {
      const std::regex re(pattern);
      for (std::size_t i = 0; i < calls.size(); ++i) {
        if (std::regex_search(calls[i], re)) return i + 1;
      }
      std::fprintf(stderr, "no call of update %zu matches %s\n", step + 1, pattern);
      std::exit(2);
    };
    const std::uint64_t download_end = first_match(kDownloadEnd);
    const std::uint64_t journal = first_match(kJournal);
    const std::uint64_t journal_gone = first_match(kJournalGone);
    const std::uint64_t end = calls.size();
    // With an anchor the call that matches is the first: cutting there is cutting before it.
    phases_.push_back({{"download", "", 1, download_end - 1},
                       {"verification", kDownloadEnd, 1, journal - download_end},
                       {"replacement", kJournal, 1, journal_gone - journal + 1},
                       {"clean-up", kJournalGone, 2, end - journal_gone + 1}});
    std::printf("calls of update %zu (to %s) without a cut: %llu in the download, %llu in the verification, %llu in "
                "the replacement, %llu in the clean-up\n",
                step + 1, channels_[step].c_str(), static_cast<unsigned long long>(download_end - 1),
                static_cast<unsigned long long>(journal - download_end),
                static_cast<unsigned long long>(journal_gone - journal + 1),
                static_cast<unsigned long long>(end - journal_gone));
  }
}

void Driver::update_step(std::size_t step) {
  const Tree& before = expected_[step];
  const Tree& after = expected_[step + 1];
  const std::string& channel = channels_[step];
  // Most updates are cut once or twice; some run through, so that the next starts from a whole one.
  const auto draw = random_() % 8;
  const int cut_runs = draw < 2 ? 0 : draw < 6 ? 1 : 2;
  for (int k = 0; k < cut_runs; ++k) {
    // Downloads and replacements get the most cuts: that is where most calls and most risk are.
    const auto pick = random_() % 20;
    const Phase& phase = phases_[step][pick < 7 ? 0 : pick < 10 ? 1 : pick < 17 ? 2 : 3];
    PowerCutOptions options;
    options.strict = random_() % 4 != 0;  // strict mode mostly: it also catches a missing folder flush
    options.anchor = phase.anchor;
    options.cut_after = phase.first + random_() % (phase.last - phase.first + 1);
    const Run cut = run(online_, channel, options);
    if (!cut.cut_at) {
      ++missed_;
      std::printf("  update %zu: aimed at the %s (call %llu) missed: the run ended first (exit %d)\n", step + 1,
                  phase.name, static_cast<unsigned long long>(options.cut_after), cut.exit_code);
      continue;
    }
    const int landed = phase_of_cut();
    ++landed_[landed];
    std::printf("  update %zu: cut in the %s (aimed at the %s, call %llu after its start, %s mode)%s\n", step + 1,
                phases_[step][landed].name, phase.name, static_cast<unsigned long long>(options.cut_after),
                options.strict ? "strict" : "data-only", cut.printed_success() ? ", after the success line" : "");
    if (cut.printed_success()) {
      const Tree files = with_folder_backups_kept(without_backups(read_tree(disk_, true)));
      check(files == without_backups(after), "the success line was printed, but the release is not in place:" +
                                                 difference(files, after));
    }
    // Without network: the release before or after this update, whole. Sometimes the power goes
    // again while that run puts things back.
    if (random_() % 4 == 0) {
      PowerCutOptions again;
      again.strict = true;
      again.cut_after = 1 + random_() % 120;
      const Run offline_cut = run(offline_, channel, again);
      if (offline_cut.cut_at) {
        ++offline_cuts_;
        std::printf("  and again at call %llu of the run without network\n",
                    static_cast<unsigned long long>(again.cut_after));
      }
    }
    const Run offline = run(offline_, channel, {});
    const Tree files = read_tree(disk_, true);
    check(offline.exit_code == 3, "the run without network exited with " + std::to_string(offline.exit_code));
    check(files == before || files == after,
          "neither release after a run without network:" +
              (files.size() < after.size() ? difference(files, before) : difference(files, after)) + "\n" +
              offline.console);
  }
  const Run online = run(online_, channel, {});
  check(online.exit_code == 0 || online.exit_code == 1,
        "the run with network exited with " + std::to_string(online.exit_code) + ":\n" + online.console);
  const Tree files = read_tree(disk_, false);
  check(files == after, "the run with network did not bring the release of update " + std::to_string(step + 1) +
                            ":" + difference(files, after));
  const Run again = run(online_, channel, {});
  check(again.exit_code == 0, "the run after it exited with " + std::to_string(again.exit_code));
}

void Driver::round() {
  ++rounds_;
  problems_ = false;
  install_first();
  std::printf("round %d:\n", rounds_);
  for (std::size_t step = 0; step < channels_.size(); ++step) update_step(step);
  if (!problems_) ++sound_rounds_;
}

int Driver::main() {
  if (const std::string reason = PowerCutMount::unavailable_reason(); !reason.empty()) {
    std::fprintf(stderr, "%s\n", reason.c_str());
    return 77;
  }
  // Every mount of this program is its own and goes with it.
  if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    std::fprintf(stderr, "no mount namespace of its own: %s\n", std::strerror(errno));
    return 77;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  fs::create_directories(o_.work / "back");
  fs::create_directories(o_.work / "mnt");
  setenv("XDG_RUNTIME_DIR", fs::absolute(o_.work).c_str(), 1);

  // The chain's releases on the test CDN, a channel each; a second server, stopped, leaves a port
  // where nothing listens.
  const Tree releases[] = {release_1(o_.large_mib, o_.delta), release_2(o_.large_mib, o_.delta)};
  fs::remove_all(o_.work / "cdn");
  std::size_t files_total = 0;
  for (std::size_t i = 0; i < std::size(releases); ++i) {
    const std::string channel = "r" + std::to_string(i + 1);
    write_tree(o_.work / "source", releases[i]);
    corvane::tools::ReleaseOptions release;
    release.source = corvane::os::from_utf8((o_.work / "source").string());
    release.out = corvane::os::from_utf8((o_.work / "cdn" / channel).string());
    release.version = std::to_string(i + 1) + ".0.0";
    if (corvane::tools::lzms_packing_available()) release.pack_globs = {"Corvane.exe", "data/ngtables/*.bin"};
    if (o_.delta) release.chunk_globs = {"bin/game.rpf"};
    release.signing = corvane::test::channel_signing();
    std::vector<corvane::ManifestFile> files;
    std::string error;
    if (!corvane::tools::build_release(release, files, error)) {
      std::fprintf(stderr, "cannot build the release: %s\n", error.c_str());
      return 2;
    }
    files_total += files.size();
  }
  if (!server_.start((o_.work / "cdn").string())) return 2;
  online_ = server_.base_url();
  corvane::test_cdn::Server gone;
  if (!gone.start((o_.work / "cdn").string())) return 2;
  offline_ = gone.base_url();
  gone.stop();

  channels_ = {"r1", "r2", "r1"};
  expected_ = {overlay(release_0(o_.large_mib), kUserFiles)};
  for (const std::string& channel : channels_) {
    expected_.push_back(updated(expected_.back(), releases[channel == "r1" ? 0 : 1]));
  }
  std::printf("seed %u, %d cuts wanted, %zu files in the chain's releases, updates to %s, %s, %s\n", o_.seed, o_.cuts,
              files_total, channels_[0].c_str(), channels_[1].c_str(), channels_[2].c_str());
  calibrate();
  const auto started = std::chrono::steady_clock::now();
  while (landed_[0] + landed_[1] + landed_[2] + landed_[3] < o_.cuts) {
    round();
  }
  mount_.unmount();
  server_.stop();
  // What the rounds made is of no use afterwards (a failure is described above).
  for (const char* made : {"back", "source", "cdn", "calls.log", "run.out"}) fs::remove_all(o_.work / made);
  const int total = landed_[0] + landed_[1] + landed_[2] + landed_[3];
  std::printf("cuts: %d in the download, %d in the verification, %d in the replacement, %d in the clean-up "
              "(%d total), %d more in runs without network; %d aimed cuts missed; %d of %d rounds sound; %.0f s\n",
              landed_[0], landed_[1], landed_[2], landed_[3], total, offline_cuts_, missed_, sound_rounds_, rounds_,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  return sound_rounds_ == rounds_ ? 0 : 1;
}

bool parse_args(int argc, char** argv, Options& o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    const char* v = argv[i + 1];
    if (arg == "--cli") o.cli = v;
    else if (arg == "--work") o.work = v;
    else if (arg == "--cuts") o.cuts = std::atoi(v);
    else if (arg == "--seed") o.seed = static_cast<unsigned>(std::strtoul(v, nullptr, 10));
    else if (arg == "--large-mib") o.large_mib = static_cast<unsigned>(std::strtoul(v, nullptr, 10));
    else if (arg == "--delta") o.delta = std::string(v) == "1";
    else return false;
  }
  return argc % 2 == 1 && !o.cli.empty() && !o.work.empty() && o.cuts > 0 && o.large_mib >= 17;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse_args(argc, argv, options)) {
    std::fputs("usage: corvane-power-loss --cli PATH --work DIR [--cuts N] [--seed S] [--large-mib M (17 or more)] [--delta 1]\n",
               stderr);
    return 2;
  }
  options.work = fs::absolute(options.work);
  Driver driver(std::move(options));
  return driver.main();
}
