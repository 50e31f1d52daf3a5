#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The system calls of the test CDN: loopback sockets and the files it serves. One implementation
// per platform (cdn_platform_posix.cpp over BSD sockets, cdn_platform_win32.cpp over Winsock),
// chosen by CMake; the server itself (test_cdn.cpp) is portable.
namespace corvane::test_cdn::platform {

// A socket descriptor (an int on Linux, a SOCKET on Windows).
using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// Prepares the socket library for this process (WSAStartup on Windows; on Linux SIGPIPE is
// ignored, so that writing to a closed connection fails instead of ending the process).
[[nodiscard]] bool init_sockets();

// A socket listening on 127.0.0.1:`port` (0: a free port chosen by the system), not inherited by
// child processes; `bound` receives the port. kNoSocket when it cannot listen.
Socket listen_loopback(std::uint16_t port, std::uint16_t& bound);

// Waits up to `timeout_ms` until `s` can be read (or accepted from): 1 ready, 0 time-out, -1 error.
int wait_readable(Socket s, int timeout_ms);

// The next connection of a listener that wait_readable found ready, with Nagle's delay off and
// not inherited by child processes. kNoSocket when none could be taken.
Socket accept_connection(Socket listener);

// recv: the number of bytes read, 0 at the end of the stream, negative on failure.
long receive(Socket s, char* data, std::size_t size);
// Sends every byte; false when the connection fails.
[[nodiscard]] bool send_all(Socket s, const char* data, std::size_t size);

// Ends both directions of a connection without closing it: wakes a send that waits for a peer
// that does not read.
void shutdown_both(Socket s);
// Ends the sending direction: the peer reads the end of the stream.
void shutdown_send(Socket s);
// Makes the next close_socket a reset (RST) instead of an orderly close.
void set_reset_on_close(Socket s);
void close_socket(Socket s);

// A regular file opened for serving; closed when the object goes.
class ServedFile {
 public:
  ServedFile() = default;
  ~ServedFile();
  ServedFile(const ServedFile&) = delete;
  ServedFile& operator=(const ServedFile&) = delete;

  // Opens the regular file at `path` (UTF-8) for reading; false when it is missing, a folder or
  // anything else.
  [[nodiscard]] bool open(const std::string& path);
  std::uint64_t size() const { return size_; }
  // Reads up to `size` bytes at `offset`; the number read (0 at the end or on failure).
  std::size_t read_at(std::uint64_t offset, char* data, std::size_t size);
  // Sends `length` bytes from `offset` to `s` (sendfile on Linux); `sent` hears each piece that
  // went out. False when the connection or the file fails.
  [[nodiscard]] bool send_range(Socket s, std::uint64_t offset, std::uint64_t length,
                                const std::function<void(std::uint64_t)>& sent);

 private:
  std::intptr_t handle_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace corvane::test_cdn::platform
