// corvane-test-cdn --root DIR [--port N] [--max-seconds S] [--rate BYTES_PER_SECOND]
// Serves DIR on 127.0.0.1 until SIGINT/SIGTERM or S seconds (default 3600) have passed. The first
// line of standard output is "<port> <base URL>". --rate slows every response body to that many
// bytes per second (per request), so that a demo shows its progress.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "tool_entry.h"
#include "test_cdn.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void on_signal(int) { g_stop = 1; }

int usage() {
  std::fprintf(stderr, "usage: corvane-test-cdn --root DIR [--port N] [--max-seconds S] [--rate BYTES_PER_SECOND]\n");
  return 2;
}

bool parse_number(const char* text, unsigned long max, unsigned long& value) {
  char* end = nullptr;
  value = std::strtoul(text, &end, 10);
  return end != text && *end == '\0' && value <= max;
}

}  // namespace

int tool_main(const std::vector<std::string>& args) {
  const int argc = static_cast<int>(args.size());
  std::string root;
  unsigned long port = 0;
  unsigned long max_seconds = 3600;
  unsigned long rate = 0;
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (args[i] == "--root" && has_value) {
      root = args[++i];
    } else if (args[i] == "--port" && has_value) {
      if (!parse_number(args[++i].c_str(), 65535, port)) return usage();
    } else if (args[i] == "--max-seconds" && has_value) {
      if (!parse_number(args[++i].c_str(), 7UL * 24 * 3600, max_seconds) || max_seconds == 0) return usage();
    } else if (args[i] == "--rate" && has_value) {
      if (!parse_number(args[++i].c_str(), 1UL << 40, rate) || rate == 0) return usage();
    } else {
      return usage();
    }
  }
  if (root.empty()) return usage();

  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  corvane::test_cdn::Server server;
  if (!server.start(root, static_cast<std::uint16_t>(port))) {
    std::fprintf(stderr, "corvane-test-cdn: cannot listen on 127.0.0.1:%lu\n", port);
    return 1;
  }
  if (rate != 0) {
    corvane::test_cdn::Fault slow;
    slow.kind = corvane::test_cdn::FaultKind::kSlowBody;
    slow.bytes_per_second = rate;
    server.add_fault(slow);
  }
  std::printf("%u %s\n", static_cast<unsigned>(server.port()), server.base_url().c_str());
  std::fflush(stdout);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(max_seconds);
  while (!g_stop && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  server.stop();
  const corvane::test_cdn::PathCounters totals = server.totals();
  std::fprintf(stderr, "corvane-test-cdn: %llu requests, %llu body bytes\n",
               static_cast<unsigned long long>(totals.requests),
               static_cast<unsigned long long>(totals.body_bytes));
  return 0;
}
