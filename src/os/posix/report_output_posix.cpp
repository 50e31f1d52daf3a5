#include "os/report_output.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>

#include "os/posix/path_posix.h"

namespace corvane::os {
namespace {

// Writes all of `bytes` to `fd`; gives up quietly on an error (a reader that went away).
void write_all(int fd, const char* bytes, std::size_t size) {
  while (fd >= 0 && size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
}

}  // namespace

// Standard output becomes the write end of a pipe; a thread reads it and passes on whole lines to
// the former standard output and to the log.
struct ReportOutput::Impl {
  int previous = -1;  // the former standard output, duplicated
  int log = -1;
  int read_end = -1;
  std::thread copier;

  void copy_lines() {
    // A reader that went away must end the copy, not the process.
    sigset_t pipe_signal;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
    std::string pending;
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(read_end, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(n));
      const std::size_t end = pending.rfind('\n');
      if (end == std::string::npos) continue;
      write_all(previous, pending.data(), end + 1);
      write_all(log, pending.data(), end + 1);
      pending.erase(0, end + 1);
    }
    write_all(previous, pending.data(), pending.size());
    write_all(log, pending.data(), pending.size());
  }
};

ReportOutput::ReportOutput(std::wstring_view log_path) : impl_(std::make_unique<Impl>()) {
  std::fflush(stdout);
  if (!log_path.empty()) {
    impl_->log = ::open(posix::native_path(log_path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY,
                        0644);
    if (impl_->log < 0) log_error_ = error_from_errno(errno);
  }
  impl_->previous = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return;  // then standard output stays as it was
  // dup2 leaves the copy at descriptor 1 inheritable, as standard output must be.
  if (::dup2(ends[1], STDOUT_FILENO) < 0) {
    ::close(ends[0]);
    ::close(ends[1]);
    return;
  }
  ::close(ends[1]);
  impl_->read_end = ends[0];
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  impl_->copier = std::thread([impl = impl_.get()] { impl->copy_lines(); });
}

ReportOutput::~ReportOutput() {
  std::fflush(stdout);
  if (impl_->copier.joinable()) {
    // Putting the former standard output back closes the pipe's last write end: the copier reads
    // to the end and stops.
    if (impl_->previous >= 0) {
      (void)::dup2(impl_->previous, STDOUT_FILENO);
    } else {
      (void)::close(STDOUT_FILENO);
    }
    impl_->copier.join();
    ::close(impl_->read_end);
  }
  if (impl_->previous >= 0) ::close(impl_->previous);
  if (impl_->log >= 0) ::close(impl_->log);
}

std::size_t console_process_count() { return 0; }

}  // namespace corvane::os
