#pragma once
#include <algorithm>
#include <string>
#include <vector>

#include "ui/app_state.h"
#include "app/record_launch.h"
#include "app/run_modes.h"
#include "install/install_env.h"
#include "os/fs.h"
#include "os/text.h"

namespace corvane::test {

// The run modes of a fresh process, with a temporary folder and a client folder of the test's own.
class RunModes : public InstallEnv {
 protected:
  RunModes() {
    make_dirs(temp_);
    make_dirs(client_);
    write_text(client_ + L"/Corvane.exe", "client");
  }

  // Parses `args` after the program's name, as a fresh process would.
  bool parse(std::vector<std::wstring> args, const std::wstring& module_path) {
    reset_app_state();
    app_state().host = &host;
    host.boxes.clear();
    args.insert(args.begin(), module_path);
    return parse_command_line(args, module_path);
  }

  // The uninstaller copies in `folder`, by full path, in name order.
  static std::vector<std::wstring> copies_in(const std::wstring& folder) {
    std::vector<std::wstring> copies;
    std::vector<os::DirEntry> entries;
    if (!os::list_directory(folder, entries)) return copies;
    for (const os::DirEntry& e : entries) {
      if (e.name.starts_with(L"Corvane-Uninstall-") && e.name.ends_with(L".exe")) copies.push_back(folder + L"/" + e.name);
    }
    std::sort(copies.begin(), copies.end());
    return copies;
  }

  std::wstring temp_ = root_ / L"tmp";
  std::wstring client_ = root_ / L"Games/Corvane";
  std::wstring setup_ = root_ / L"Downloads/Corvane-Setup.exe";
  ScopedEnv tmpdir_{kTempDirVariable, os::to_utf8(temp_)};
};

}  // namespace corvane::test
