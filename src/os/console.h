#pragma once
#include <memory>

// The process's standard output as the update engine writes to it: report lines in UTF-8 and a
// progress line rewritten in place with "\r". While a ConsoleOutput lives, those bytes reach a
// console, a pipe or a file unchanged and promptly. On Linux stdout is line-buffered. On Windows
// stdout and stderr are put in binary mode (no "\n" -> "\r\n"), a console is switched to the UTF-8
// code page, and, since the C runtime there has no line buffering and writes unbuffered output
// byte by byte (which a console cannot decode as UTF-8), both are fully buffered and flushed
// every 100 ms by a thread of their own. One per process, made by the program's entry before it
// prints anything; everything printed is flushed when it goes.
namespace corvane::os {

class ConsoleOutput {
 public:
  ConsoleOutput();
  ~ConsoleOutput();
  ConsoleOutput(const ConsoleOutput&) = delete;
  ConsoleOutput& operator=(const ConsoleOutput&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;  // the platform's state; none on Linux
};

}  // namespace corvane::os
