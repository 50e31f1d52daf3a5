#pragma once
#include <cstdint>

#include "net/download_part.h"
#include "net/file_table.h"
#include "update/update_run.h"

// The update run's progress function for the download pool: hands the counts to the caller's
// callback, or keeps one console line up to date when the caller gave none.
namespace corvane {

// Made by the run before the download; the pool and the table outlive every call.
struct ProgressState {
  const DownloadPool* pool = nullptr;
  const FileTable* table = nullptr;
  std::uint64_t bytes_total = 0;   // sum of the download sizes of the distinct downloads
  std::uint32_t files_total = 0;   // number of distinct downloads
  ProgressCallback callback;
  std::uint64_t bytes_base = 0;    // bytes fetched before this pool (chunk indexes, delta ranges)
  std::uint32_t files_base = 0;    // files finished before this pool
};

// bytes_done * 100 / bytes_total in 64-bit integer division; 100 when the total is 0, and never
// above 100 (retried bytes are counted twice).
int progress_percent(std::uint64_t bytes_done, std::uint64_t bytes_total);

// The pool's progress function; `state` is a ProgressState. Runs on the thread of the run: calls
// the caller's callback, or rewrites "\r  Obnovlenie: NN%  d/n faylov" and flushes standard output.
void report_progress(void* state);

}  // namespace corvane
