// TCP client sockets over POSIX: name resolution (IPv4), connect with a time-out,
// sending a whole buffer and receiving with a time-out. The HTTP client of the query
// forwarding (searcher/forward/http_client.h) is its user.
//
// Writes never raise SIGPIPE (a peer that has gone away gives a failed send instead of
// killing the process), and every wait is bounded by the time-out the caller gives.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace qm {

enum class SocketStatus {
  Ok,        // the operation completed
  Closed,    // receive: the peer closed the connection (no more bytes)
  TimedOut,  // nothing happened within the time-out
  Failed,    // any other failure (errno tells more)
};

// The IPv4 address of host in network byte order: a dotted address is taken as it is,
// anything else is looked up and its first address is used. False when there is none.
bool socket_resolve(const std::string& host, uint32_t& address);

// One TCP connection; closed when destroyed. Time-outs are in milliseconds; a negative
// time-out waits without limit.
class TcpSocket {
 public:
  TcpSocket() = default;
  ~TcpSocket();
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;

  // Connects to host:port (socket_resolve). Ok, TimedOut, or Failed (no address, refused,
  // unreachable). A connected socket is closed first.
  SocketStatus connect(const std::string& host, uint16_t port, int timeout_ms);
  // Sends all n bytes, looping over partial sends; each wait for room is bounded by the
  // time-out.
  SocketStatus send_all(const void* data, size_t n, int timeout_ms);
  // Receives at most capacity bytes into buffer (got = how many). Ok with got > 0,
  // Closed when the peer has closed, TimedOut, or Failed.
  SocketStatus receive(void* buffer, size_t capacity, size_t& got, int timeout_ms);
  void close();

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace qm
