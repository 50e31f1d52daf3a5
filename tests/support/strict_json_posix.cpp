#include "support/strict_json.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace corvane::test {
namespace {

// Runs the checker with `options` on a temporary file holding `bytes`; its output and whether it
// ended with 0. A failure to run it reads as an invalid text.
StrictJson run_checker(const std::string& options, std::string_view bytes) {
  StrictJson result;
  char file_name[] = "/tmp/corvane-strict-json-XXXXXX";
  const int fd = ::mkstemp(file_name);
  if (fd < 0) {
    result.text = "cannot create a temporary file";
    return result;
  }
  const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ::close(fd);
  if (written) {
    const std::string command = std::string("'") + CORVANE_PYTHON + "' '" + CORVANE_STRICT_JSON_SCRIPT + "' " +
                                options + " '" + file_name + "' 2>&1";
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
      char buffer[4096];
      std::size_t n = 0;
      while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.text.append(buffer, n);
      const int status = ::pclose(pipe);
      result.valid = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      if (!result.text.empty() && result.text.back() == '\n') result.text.pop_back();
    } else {
      result.text = "cannot start the JSON checker";
    }
  } else {
    result.text = "cannot write the temporary file";
  }
  ::unlink(file_name);
  return result;
}

}  // namespace

StrictJson strict_json(std::string_view bytes) { return run_checker("", bytes); }

std::vector<bool> strict_json_each(const std::vector<std::string>& texts) {
  std::string joined;
  for (std::size_t i = 0; i < texts.size(); ++i) joined.append(i == 0 ? "" : "\n").append(texts[i]);
  const StrictJson run = run_checker("--lines", joined);
  std::vector<bool> verdicts;
  if (!run.valid) return verdicts;
  for (const char c : run.text) {
    if (c == '1' || c == '0') verdicts.push_back(c == '1');
  }
  if (verdicts.size() != texts.size()) verdicts.clear();
  return verdicts;
}

}  // namespace corvane::test
