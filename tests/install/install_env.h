#pragma once
#include <string>

#include "os/file.h"
#include "support/temp_dir.h"
#include "ui/host_fixture.h"

namespace corvane::test {

// A user profile of its own: HOME, XDG_DATA_HOME (the registry store and the Programs folder),
// XDG_CONFIG_HOME and XDG_DATA_DIRS (the machine's data folder) point into a temporary folder, and
// the AppState talks to a RecordingHost.
class InstallEnv : public HostFixture {
 protected:
  TempDir root_;
  ScopedEnv home_env_{"HOME", root_.utf8() + "/home"};
  ScopedEnv data_env_{"XDG_DATA_HOME", root_.utf8() + "/home/.local/share"};
  ScopedEnv config_env_{"XDG_CONFIG_HOME", root_.utf8() + "/home/.config"};
  ScopedEnv data_dirs_env_{"XDG_DATA_DIRS", root_.utf8() + "/machine"};

  std::wstring home() const { return root_ / L"home"; }
  std::wstring desktop_link() const { return root_ / L"home/Desktop/Corvane.desktop"; }
  std::wstring programs_link() const { return root_ / L"home/.local/share/applications/Corvane.desktop"; }
};

// Creates a file of `size` bytes without writing them (a sparse file).
inline void make_sparse_file(const std::wstring& path, std::uint64_t size) {
  os::File file;
  ASSERT_EQ(file.open(path, os::OpenMode::WriteTruncate), os::kErrorSuccess);
  ASSERT_EQ(file.set_size(size), os::kErrorSuccess);
}

}  // namespace corvane::test
