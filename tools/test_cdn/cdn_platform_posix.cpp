#include "cdn_platform.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace corvane::test_cdn::platform {
namespace {

int fd_of(Socket s) { return static_cast<int>(s); }

}  // namespace

bool init_sockets() {
  ::signal(SIGPIPE, SIG_IGN);
  return true;
}

Socket listen_loopback(std::uint16_t port, std::uint16_t& bound) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoSocket;
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 128) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return kNoSocket;
  }
  bound = ntohs(address.sin_port);
  return fd;
}

int wait_readable(Socket s, int timeout_ms) {
  pollfd p{fd_of(s), POLLIN, 0};
  const int n = ::poll(&p, 1, timeout_ms);
  if (n < 0) return errno == EINTR ? 0 : -1;
  if (n == 0) return 0;
  return (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0 ? 1 : -1;
}

Socket accept_connection(Socket listener) {
  const int fd = ::accept4(fd_of(listener), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return kNoSocket;
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

long receive(Socket s, char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::recv(fd_of(s), data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

bool send_all(Socket s, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd_of(s), data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void shutdown_both(Socket s) { ::shutdown(fd_of(s), SHUT_RDWR); }

void shutdown_send(Socket s) { ::shutdown(fd_of(s), SHUT_WR); }

void set_reset_on_close(Socket s) {
  linger hard{1, 0};
  ::setsockopt(fd_of(s), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

void close_socket(Socket s) { ::close(fd_of(s)); }

ServedFile::~ServedFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool ServedFile::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  handle_ = fd;
  size_ = static_cast<std::uint64_t>(st.st_size);
  return true;
}

std::size_t ServedFile::read_at(std::uint64_t offset, char* data, std::size_t size) {
  const ssize_t n = ::pread(static_cast<int>(handle_), data, size, static_cast<off_t>(offset));
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool ServedFile::send_range(Socket s, std::uint64_t offset, std::uint64_t length,
                            const std::function<void(std::uint64_t)>& sent) {
  auto pos = static_cast<off_t>(offset);
  std::uint64_t left = length;
  while (left > 0) {
    const ssize_t n = ::sendfile(fd_of(s), static_cast<int>(handle_), &pos,
                                 static_cast<std::size_t>(std::min<std::uint64_t>(left, 1u << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    left -= static_cast<std::uint64_t>(n);
    sent(static_cast<std::uint64_t>(n));
  }
  return true;
}

}  // namespace corvane::test_cdn::platform
