#include "cdn_platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace corvane::test_cdn::platform {
namespace {

SOCKET socket_of(Socket s) { return static_cast<SOCKET>(s); }
HANDLE file_of(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

constexpr std::size_t kSendBuffer = 256 * 1024;

// send and recv take an int length.
int clamp_length(std::size_t size) { return static_cast<int>(std::min<std::size_t>(size, 1 << 30)); }

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

}  // namespace

bool init_sockets() {
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

Socket listen_loopback(std::uint16_t port, std::uint16_t& bound) {
  // Not inherited: a test's child process must not keep the server's sockets alive. No
  // SO_REUSEADDR: on Windows it would let the server take a port that another program listens on.
  const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return kNoSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 128) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(s);
    return kNoSocket;
  }
  bound = ntohs(address.sin_port);
  return static_cast<Socket>(s);
}

int wait_readable(Socket s, int timeout_ms) {
  WSAPOLLFD p{socket_of(s), POLLRDNORM, 0};
  const int n = WSAPoll(&p, 1, timeout_ms);
  if (n < 0) return -1;
  if (n == 0) return 0;
  return (p.revents & (POLLRDNORM | POLLHUP | POLLERR)) != 0 ? 1 : -1;
}

Socket accept_connection(Socket listener) {
  const SOCKET s = accept(socket_of(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) return kNoSocket;
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  const BOOL one = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  return static_cast<Socket>(s);
}

long receive(Socket s, char* data, std::size_t size) {
  return recv(socket_of(s), data, clamp_length(size), 0);
}

bool send_all(Socket s, const char* data, std::size_t size) {
  while (size > 0) {
    const int n = send(socket_of(s), data, clamp_length(size), 0);
    if (n == SOCKET_ERROR) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void shutdown_both(Socket s) { shutdown(socket_of(s), SD_BOTH); }

void shutdown_send(Socket s) { shutdown(socket_of(s), SD_SEND); }

void set_reset_on_close(Socket s) {
  linger hard{1, 0};
  setsockopt(socket_of(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
}

void close_socket(Socket s) { closesocket(socket_of(s)); }

ServedFile::~ServedFile() {
  if (handle_ != -1) CloseHandle(file_of(handle_));
}

bool ServedFile::open(const std::string& path) {
  // Every sharing mode: a test may replace or delete a published file while it is being served.
  const HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  size_ = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return true;
}

std::size_t ServedFile::read_at(std::uint64_t offset, char* data, std::size_t size) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 30));
  if (!ReadFile(file_of(handle_), data, want, &read, &at)) return 0;
  return read;
}

bool ServedFile::send_range(Socket s, std::uint64_t offset, std::uint64_t length,
                            const std::function<void(std::uint64_t)>& sent) {
  std::vector<char> buffer(kSendBuffer);
  while (length > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size()));
    const std::size_t got = read_at(offset, buffer.data(), want);
    if (got == 0 || !send_all(s, buffer.data(), got)) return false;
    offset += got;
    length -= got;
    sent(got);
  }
  return true;
}

}  // namespace corvane::test_cdn::platform
