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

#include "os/console.h"
#include "os/platform.h"
#include "os/process.h"
#include "os/text.h"
#include "tool_entry.h"
#include "update/holding_processes.h"
#include "update/update_run.h"

namespace {

constexpr const char* kUsage =
    "usage: corvane-update [--base-url URL] [--channel NAME] DIR\n"
    "  DIR              an existing client folder (created by the installer; may be empty)\n"
    "  --base-url URL   CDN base URL, http or https, ending in / (default: " CORVANE_CDN_BASE_URL ")\n"
    "  --channel NAME   release channel (default: release)\n"
    "exit code: 0 up to date, 1 updated, 2 updated including this program, 3 failed or wrong usage\n";

// std::filesystem reads narrow paths in the ANSI code page on Windows: hand it wide text there.
std::filesystem::path to_fs_path(const std::string& utf8) {
  if constexpr (corvane::os::kIsWindows) {
    return std::filesystem::path(corvane::os::from_utf8(utf8));
  } else {
    return std::filesystem::path(utf8);
  }
}

// A Linux name is bytes: read it losslessly, so that the engine opens the very folder it was given
// and not another whose name reads the same once its bytes that are not UTF-8 are replaced.
std::wstring from_fs_path(const std::filesystem::path& path) {
  if constexpr (corvane::os::kIsWindows) {
    return path.wstring();
  } else {
    return corvane::os::from_utf8_lossless(path.string());
  }
}

int usage_error(const char* what, std::string_view detail) {
  std::fprintf(stderr, "corvane-update: %s%.*s\n%s", what, static_cast<int>(detail.size()), detail.data(), kUsage);
  return corvane::kFailed;
}

}  // namespace

int tool_main(const std::vector<std::string>& args) {
  using namespace corvane;
  const int argc = static_cast<int>(args.size());
  std::string base_url;
  std::string channel = "release";
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = args[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--base-url" && has_value) {
      base_url = args[++i];
    } else if (arg == "--channel" && has_value) {
      channel = args[++i];
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
  const std::filesystem::path folder = std::filesystem::canonical(to_fs_path(dir), error);
  if (error || !std::filesystem::is_directory(folder, error)) {
    return usage_error("the client folder does not exist or is not a folder: ", dir);
  }

  // Report lines and the progress line reach a console or a pipe as printed, when printed.
  const os::ConsoleOutput console;
  const std::wstring install_dir = from_fs_path(folder);
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
