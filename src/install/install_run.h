#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "ui/ui_requests.h"
#include "update/update_run.h"

// One install run on the worker thread: prepare the folder, bring the client files to the
// release, configure the client. Its only outputs are the messages to the page ("stage",
// "progress", then "installed" or one "error") and the changes on disk and in the registry.
namespace corvane {

// The step that brings `install_dir` to the release: fills `result`, reports download progress to
// `progress` and returns run_update's code (kFailed on failure).
using UpdateStep = std::function<std::uint32_t(const std::wstring& install_dir, UpdateResult& result,
                                               ProgressCallback progress)>;

// The run with the update run of the channel "release".
void run_install(const InstallRequest& request);

// The run with another update step (tests put a local one in its place).
void run_install(const InstallRequest& request, const UpdateStep& update);

}  // namespace corvane
