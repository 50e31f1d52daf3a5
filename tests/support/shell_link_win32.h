#pragma once
// For the Windows tests: a shell link (.lnk) read back the way the shell reads it.
#include <optional>
#include <string>

namespace corvane::test {

struct LoadedLink {
  std::wstring target;       // through the link's item list, as the shell opens it
  std::wstring target_text;  // the path text the link also stores
  std::wstring working_dir;
  std::wstring description;
  std::wstring icon;
  int icon_index = -1;
};

// Loads `path` with IShellLinkW + IPersistFile; the calling thread has initialised COM. Nothing
// when the file is no link.
std::optional<LoadedLink> load_shell_link(const std::wstring& path);

}  // namespace corvane::test
