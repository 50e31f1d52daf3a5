#include "install/install_run.h"
#include "install/uninstall.h"
#include "ui/dispatcher.h"

namespace corvane {

CommandJobs setup_jobs() {
  CommandJobs jobs;
  jobs.install = [](const InstallRequest& request) { run_install(request); };
  jobs.uninstall = [](const UninstallRequest& request) {
    run_uninstall(request.install_dir, request.remove_resources);
  };
  return jobs;
}

void dispatch_command(std::wstring_view text) {
  static const CommandJobs jobs = setup_jobs();
  dispatch_command(text, jobs);
}

}  // namespace corvane
