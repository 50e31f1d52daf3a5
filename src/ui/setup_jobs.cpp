#include "ui/app_state.h"
#include "install/install_run.h"
#include "install/uninstall.h"
#include "ui/dispatcher.h"
#include "ui/page_report.h"

namespace corvane {

CommandJobs setup_jobs() {
  CommandJobs jobs;
  jobs.install = [](const InstallRequest& request) { run_install(request, page_report()); };
  jobs.uninstall = [](const UninstallRequest& request) {
    if (run_uninstall(request.install_dir, request.remove_resources, page_report())) app_state().uninstall_done = true;
  };
  return jobs;
}

void dispatch_command(std::wstring_view text) {
  static const CommandJobs jobs = setup_jobs();
  dispatch_command(text, jobs);
}

}  // namespace corvane
