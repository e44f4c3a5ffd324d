// TCP client sockets over POSIX; see socket.h.
#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace qm {
namespace {

// Waits for events on fd; Ok when they came, TimedOut or Failed otherwise. Interrupted
// waits are resumed (with the full time-out again: signals are rare here).
SocketStatus wait_for(int fd, short events, int timeout_ms) {
  pollfd p{};
  p.fd = fd;
  p.events = events;
  for (;;) {
    int r = ::poll(&p, 1, timeout_ms < 0 ? -1 : timeout_ms);
    if (r > 0) return SocketStatus::Ok;
    if (r == 0) return SocketStatus::TimedOut;
    if (errno != EINTR) return SocketStatus::Failed;
  }
}

}  // namespace

bool socket_resolve(const std::string& host, uint32_t& address) {
  in_addr a{};
  if (::inet_pton(AF_INET, host.c_str(), &a) == 1) {
    address = a.s_addr;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list)
    return false;
  bool found = false;
  for (addrinfo* i = list; i; i = i->ai_next) {
    if (i->ai_family == AF_INET && i->ai_addrlen >= sizeof(sockaddr_in)) {
      sockaddr_in sin;
      std::memcpy(&sin, i->ai_addr, sizeof sin);
      address = sin.sin_addr.s_addr;
      found = true;
      break;
    }
  }
  ::freeaddrinfo(list);
  return found;
}

TcpSocket::~TcpSocket() { close(); }

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void TcpSocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

SocketStatus TcpSocket::connect(const std::string& host, uint16_t port, int timeout_ms) {
  close();
  uint32_t address = 0;
  if (!socket_resolve(host, address)) return SocketStatus::Failed;
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_port = htons(port);
  sin.sin_addr.s_addr = address;

  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return SocketStatus::Failed;
  fd_ = fd;
  // The connect runs non-blocking so that its wait can be bounded.
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&sin), sizeof sin) != 0) {
    if (errno != EINPROGRESS) {
      close();
      return SocketStatus::Failed;
    }
    SocketStatus w = wait_for(fd, POLLOUT, timeout_ms);
    if (w != SocketStatus::Ok) {
      close();
      return w;
    }
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
      close();
      return SocketStatus::Failed;
    }
  }
  return SocketStatus::Ok;
}

SocketStatus TcpSocket::send_all(const void* data, size_t n, int timeout_ms) {
  if (fd_ < 0) return SocketStatus::Failed;
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t sent = ::send(fd_, p, n, MSG_NOSIGNAL);
    if (sent > 0) {
      p += sent;
      n -= size_t(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      SocketStatus w = wait_for(fd_, POLLOUT, timeout_ms);
      if (w != SocketStatus::Ok) return w;
      continue;
    }
    return SocketStatus::Failed;
  }
  return SocketStatus::Ok;
}

SocketStatus TcpSocket::receive(void* buffer, size_t capacity, size_t& got, int timeout_ms) {
  got = 0;
  if (fd_ < 0 || capacity == 0) return SocketStatus::Failed;
  for (;;) {
    ssize_t r = ::recv(fd_, buffer, capacity, 0);
    if (r > 0) {
      got = size_t(r);
      return SocketStatus::Ok;
    }
    if (r == 0) return SocketStatus::Closed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return SocketStatus::Failed;
    SocketStatus w = wait_for(fd_, POLLIN, timeout_ms);
    if (w != SocketStatus::Ok) return w;
  }
}

}  // namespace qm
