#include "install/install_run.h"

namespace corvane {

void run_install(const InstallRequest& request, RunReport& report) {
  run_install(
      request,
      [](const std::wstring& install_dir, UpdateResult& result, ProgressCallback progress) {
        // The setup runs from outside the client's own programs: no self path.
        return run_update(install_dir, std::wstring(), &result, progress, "release");
      },
      report);
}

}  // namespace corvane
