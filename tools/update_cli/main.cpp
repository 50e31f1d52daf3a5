// corvane-update [--base-url URL] [--channel NAME] DIR
// Brings the client folder DIR to the release of the channel (default "release") on the CDN at URL
// (default: the CDN this build was configured with), printing the engine's lines and its progress
// line. The exit code is the run's result: 0 up to date, 1 updated, 2 updated including this
// program itself, 3 failed; also 3 for a wrong command line.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "os/process.h"
#include "os/text.h"
#include "update/holding_processes.h"
#include "update/update_run.h"

namespace {

constexpr const char* kUsage =
    "usage: corvane-update [--base-url URL] [--channel NAME] DIR\n"
    "  DIR              an existing client folder (created by the installer; may be empty)\n"
    "  --base-url URL   CDN base URL, http or https, ending in / (default: " CORVANE_CDN_BASE_URL ")\n"
    "  --channel NAME   release channel (default: release)\n"
    "exit code: 0 up to date, 1 updated, 2 updated including this program, 3 failed or wrong usage\n";

int usage_error(const char* what, std::string_view detail) {
  std::fprintf(stderr, "corvane-update: %s%.*s\n%s", what, static_cast<int>(detail.size()), detail.data(), kUsage);
  return corvane::kFailed;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace corvane;
  std::string base_url;
  std::string channel = "release";
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--base-url" && has_value) {
      base_url = argv[++i];
    } else if (arg == "--channel" && has_value) {
      channel = argv[++i];
    } else if (!arg.empty() && arg.front() != '-' && dir.empty()) {
      dir = arg;
    } else {
      return usage_error("unexpected argument: ", arg);
    }
  }
  if (dir.empty()) return usage_error("no client folder given", "");

  // The engine compares the folder with the paths of running programs: it must be absolute and
  // free of links, and it must exist (the run never creates the client folder itself).
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::canonical(dir, error);
  if (error || !std::filesystem::is_directory(folder, error)) {
    return usage_error("the client folder does not exist or is not a folder: ", dir);
  }

  // Progress and report lines appear as they are printed, also through a pipe.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::wstring install_dir = os::from_utf8(folder.string());
  const std::wstring self_path = process_image_path(os::current_process_id());
  UpdateResult result;
  const std::uint32_t code =
      base_url.empty() ? run_update(install_dir, self_path, &result, ProgressCallback{}, channel)
                       : run_update_with_base_url(base_url, install_dir, self_path, &result, ProgressCallback{},
                                                  channel);
  std::fflush(stdout);
  if (code == kFailed) {
    std::fprintf(stderr, "corvane-update: failed with status %u%s%s (code %u)\n", result.status,
                 result.file.empty() ? "" : ", file ", result.file.c_str(), result.error_code);
  }
  return static_cast<int>(code);
}
