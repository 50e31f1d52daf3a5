#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "install/run_report.h"
#include "install/install_request.h"
#include "update/update_run.h"

// One install run on the worker thread (or, without a window, on the main thread): prepare the
// folder, bring the client files to the release, configure the client. Its only outputs are its
// reports (stages, progress, then "installed" or one failure) and the changes on disk and in the
// registry.
namespace corvane {

// The step that brings `install_dir` to the release: fills `result`, reports download progress to
// `progress` and returns run_update's code (kFailed on failure).
using UpdateStep = std::function<std::uint32_t(const std::wstring& install_dir, UpdateResult& result,
                                               ProgressCallback progress)>;

// The run with the update run of the channel "release", reporting to `report`.
void run_install(const InstallRequest& request, RunReport& report);

// The run with another update step (tests put a local one in its place).
void run_install(const InstallRequest& request, const UpdateStep& update, RunReport& report);

}  // namespace corvane
