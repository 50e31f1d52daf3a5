#pragma once
#include <functional>
#include <string_view>

#include "ui/app_state.h"

// The one worker thread of the setup (an install or an uninstall run).
namespace corvane {

// A job for the worker thread; it owns a copy of everything it works on.
using WorkerJob = std::function<void()>;

// Window thread. Starts the worker thread with `job` unless a worker has been started and not yet
// joined (AppState::busy): then the job is dropped and nothing else happens. A finished worker is
// joined first. While the worker runs, the window holds up a logoff or shutdown with
// shutdown_reason; the window procedure lifts that when the worker has been joined. True when the
// worker was started.
bool start_worker(WorkerJob job);

// What the system shows as the reason why the setup holds up a logoff or shutdown while a run of
// `mode` is under way.
std::wstring_view shutdown_reason(RunMode mode);

// The body of every worker thread: the thread's COM apartment, the job, and then, as its last
// act, WM_WORKER_DONE to the window thread.
void worker_entry(const WorkerJob& job);

}  // namespace corvane
