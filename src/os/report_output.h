#pragma once
#include <cstddef>
#include <memory>
#include <string_view>

#include "os/error.h"

// Standard output of a run without a window, which reports in lines: everything the process prints
// on standard output while a ReportOutput lives (the update engine's lines and the run's own) goes,
// whole line by whole line and in the order printed, to where standard output went before (a
// console, a pipe or a file) and, when a log is named, appended to that log file as well.
//
// On Windows the setup is a program without a console of its own: when its standard output leads
// nowhere, the console of the process that started it (a command prompt, a script) is attached
// and written to, in UTF-8. On Linux standard output is used as it is.
namespace corvane::os {

class ReportOutput {
 public:
  // Starts copying standard output; `log_path` empty: no log.
  explicit ReportOutput(std::wstring_view log_path);
  // Flushes standard output, waits until every line has been written and gives standard output
  // back as it was.
  ~ReportOutput();
  ReportOutput(const ReportOutput&) = delete;
  ReportOutput& operator=(const ReportOutput&) = delete;

  // Why the log could not be opened for appending; kErrorSuccess when it was or none was named.
  ErrorCode log_error() const { return log_error_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  ErrorCode log_error_ = kErrorSuccess;
};

// How many processes share the console this process writes to; 0 when it has none (always 0 on
// Linux, where a started program simply inherits standard output). A run that hands over to
// another program waits until that program has joined the console before it ends, because a
// program without a console can attach only to the console of a parent that is still running.
std::size_t console_process_count();

}  // namespace corvane::os
