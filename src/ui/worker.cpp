#include "ui/worker.h"

#include <system_error>
#include <thread>
#include <utility>

#include "ui/app_state.h"
#include "os/shell.h"
#include "ui/ui_host.h"

namespace corvane {

std::wstring_view shutdown_reason(RunMode mode) {
  return mode == RunMode::Install ? L"Идет установка клиента Corvane. Пожалуйста, дождитесь ее окончания."
                                  : L"Идет удаление Corvane. Пожалуйста, дождитесь его окончания.";
}

bool start_worker(WorkerJob job) {
  AppState& s = app_state();
  if (s.busy.exchange(true)) return false;
  if (s.worker.joinable()) s.worker.join();
  s.cancel_requested.store(false);
  s.close_when_done = false;
  try {
    s.worker = std::thread([job = std::move(job)] { worker_entry(job); });
  } catch (const std::system_error&) {
    // No thread: nothing will post WM_WORKER_DONE, so the window must not stay busy.
    s.busy.store(false);
    return false;
  }
  // A logoff now would end the run halfway through replacing or removing files.
  if (s.host) s.host->set_shutdown_reason(shutdown_reason(s.mode));
  return true;
}

void worker_entry(const WorkerJob& job) {
  {
    const os::ThreadApartment apartment;
    job();
  }
  if (UiHost* host = app_state().host) (void)host->post_message(WM_WORKER_DONE, nullptr);
}

}  // namespace corvane
