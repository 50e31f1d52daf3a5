#include "update/update_progress.h"

#include <cstdio>

namespace corvane {

int progress_percent(std::uint64_t bytes_done, std::uint64_t bytes_total) {
  if (bytes_done >= bytes_total) return 100;  // also a total of 0
  return static_cast<int>(bytes_done * 100 / bytes_total);
}

void report_progress(void* state) {
  const auto& progress = *static_cast<const ProgressState*>(state);
  const std::uint64_t bytes_done = progress.bytes_base + progress.pool->bytes_done.load();
  const std::uint32_t files_done = progress.files_base + progress.table->files_done.load();
  if (progress.callback.fn != nullptr) {
    progress.callback.fn(progress.callback.context, bytes_done, progress.bytes_total, files_done,
                         progress.files_total);
    return;
  }
  std::printf("\r  Obnovlenie: %3d%%  %d/%d faylov", progress_percent(bytes_done, progress.bytes_total),
              static_cast<int>(files_done), static_cast<int>(progress.files_total));
  std::fflush(stdout);
}

}  // namespace corvane
