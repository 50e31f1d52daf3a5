#pragma once

// Start-up milestones of the window host, for the start-up benchmark: with CORVANE_STARTUP_TRACE
// set in the environment, each mark prints "corvane-startup <seconds since the process started>
// <what>" on standard error; otherwise a mark costs one flag test. Window thread only.
namespace corvane {

void startup_mark(const char* what);

}  // namespace corvane
