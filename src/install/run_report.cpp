#include "install/run_report.h"

namespace corvane {
namespace {

void forward_progress(void* context, std::uint64_t done, std::uint64_t total, std::uint32_t files,
                      std::uint32_t files_total) {
  static_cast<RunReport*>(context)->progress(done, total, files, files_total);
}

}  // namespace

ProgressCallback progress_to(RunReport& report) { return ProgressCallback{&report, &forward_progress}; }

}  // namespace corvane
