#pragma once

// The process's standard output as the update engine writes to it: report lines in UTF-8 and a
// progress line rewritten in place with "\r". While a ConsoleOutput lives, those bytes reach a
// console, a pipe or a file unchanged and as soon as they are printed: on Windows stdout is put
// in binary mode (no "\n" -> "\r\n") and unbuffered (the C runtime has no line buffering there),
// and a console is switched to the UTF-8 code page; on Linux stdout is line-buffered. One per
// process, made by the program's entry before it prints anything.
namespace corvane::os {

class ConsoleOutput {
 public:
  ConsoleOutput();
  // Gives the console back its earlier code page.
  ~ConsoleOutput();
  ConsoleOutput(const ConsoleOutput&) = delete;
  ConsoleOutput& operator=(const ConsoleOutput&) = delete;

 private:
  unsigned previous_code_page_ = 0;  // 0: the console's code page was not changed
};

}  // namespace corvane::os
