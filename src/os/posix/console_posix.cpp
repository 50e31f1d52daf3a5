#include "os/console.h"

#include <cstdio>

namespace corvane::os {

ConsoleOutput::ConsoleOutput() { std::setvbuf(stdout, nullptr, _IOLBF, 0); }

ConsoleOutput::~ConsoleOutput() { std::fflush(stdout); }

}  // namespace corvane::os
