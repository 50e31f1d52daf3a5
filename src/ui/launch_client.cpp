#include "ui/launch_client.h"

#include "base/paths.h"
#include "os/process_spawn.h"

namespace corvane {

bool launch_client(std::wstring_view folder) {
  return os::start_process(join_path(folder, L"Corvane.exe"), {}, folder, /*new_console=*/true);
}

}  // namespace corvane
