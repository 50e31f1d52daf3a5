#include "os/console.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace corvane::os {
namespace {

constexpr std::size_t kBufferSize = 4096;
constexpr auto kFlushInterval = std::chrono::milliseconds(100);

}  // namespace

// The C runtime has no line buffering on Windows, and unbuffered output goes out one byte per
// write, which a console decoding UTF-8 cannot put together again (each byte of a multi-byte
// character shows as a replacement character). So the streams are fully buffered and a thread
// flushes them a few times a second, which keeps the lines timely and whole.
struct ConsoleOutput::Impl {
  std::mutex mutex;
  std::condition_variable wake;
  bool stopping = false;
  UINT previous_code_page = 0;  // 0: the console's code page was not changed
  std::thread flusher;

  void flush_periodically() {
    std::unique_lock<std::mutex> lock(mutex);
    while (!wake.wait_for(lock, kFlushInterval, [this] { return stopping; })) {
      std::fflush(stdout);
      std::fflush(stderr);
    }
  }
};

ConsoleOutput::ConsoleOutput() : impl_(std::make_unique<Impl>()) {
  // Text mode would write every "\n" as "\r\n" into pipes and files.
  (void)_setmode(_fileno(stdout), _O_BINARY);
  (void)_setmode(_fileno(stderr), _O_BINARY);
  std::setvbuf(stdout, nullptr, _IOFBF, kBufferSize);
  std::setvbuf(stderr, nullptr, _IOFBF, kBufferSize);
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
    const UINT current = GetConsoleOutputCP();
    if (current != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) impl_->previous_code_page = current;
  }
  impl_->flusher = std::thread([impl = impl_.get()] { impl->flush_periodically(); });
}

ConsoleOutput::~ConsoleOutput() {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->wake.notify_all();
  impl_->flusher.join();
  std::fflush(stdout);
  std::fflush(stderr);
  // The console keeps its code page after this process: give it back.
  if (impl_->previous_code_page != 0) SetConsoleOutputCP(impl_->previous_code_page);
}

}  // namespace corvane::os
