#include "ui/client_dir.h"

#include "base/paths.h"

namespace corvane {

bool is_client_dir(std::wstring_view folder) {
  if (folder.empty()) return false;
  return path_exists(join_path(folder, L"Corvane.exe")) || path_exists(join_path(folder, L"uninstall.exe"));
}

}  // namespace corvane
