// A one-connection HTTP peer for the forwarding tests: a thread listening on 127.0.0.1
// on an ephemeral port that accepts one connection, records the request (header plus
// Content-Length bytes of body) and then answers as told.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace qm_test {

enum class PeerAction {
  Reply,    // send the canned reply, then close
  Silent,   // keep the connection open and send nothing until the peer is destroyed
  Close,    // close without a reply
};

class LoopbackPeer {
 public:
  LoopbackPeer(PeerAction action, std::string reply = {})
      : action_(action), reply_(std::move(reply)) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sin.sin_port = 0;
    if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0 ||
        ::listen(listen_fd_, 4) != 0)
      std::abort();
    socklen_t len = sizeof sin;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&sin), &len);
    port_ = ntohs(sin.sin_port);
    thread_ = std::thread([this] { run(); });
  }
  ~LoopbackPeer() {
    finish();
    ::close(listen_fd_);
  }
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  uint16_t port() const { return port_; }
  // Ends the peer (a silent one lets go of its connection) and waits for its thread.
  void finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // The recorded request (ends the peer first).
  const std::string& request() {
    finish();
    return request_;
  }
  bool connected() {
    finish();
    return connected_;
  }

  // A port on 127.0.0.1 with nothing listening on it.
  static uint16_t closed_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    socklen_t len = sizeof sin;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len);
    ::close(fd);
    return ntohs(sin.sin_port);
  }

 private:
  // Waits for fd to become readable in short slices so that stop_ is noticed.
  bool wait_readable(int fd) {
    while (!stop_) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 20) > 0) return true;
    }
    return false;
  }

  bool request_complete() const {
    size_t end = request_.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    size_t at = request_.find("Content-Length: ");
    size_t length = at == std::string::npos || at > end
                        ? 0
                        : std::strtoul(request_.c_str() + at + 16, nullptr, 10);
    return request_.size() >= end + 4 + length;
  }

  void run() {
    if (!wait_readable(listen_fd_)) return;
    int fd = ::accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) return;
    connected_ = true;
    char buffer[4096];
    while (!request_complete() && wait_readable(fd)) {
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request_.append(buffer, size_t(n));
    }
    if (action_ == PeerAction::Reply) {
      size_t sent = 0;
      while (sent < reply_.size()) {
        ssize_t n = ::send(fd, reply_.data() + sent, reply_.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += size_t(n);
      }
    } else if (action_ == PeerAction::Silent) {
      while (!stop_) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0) break;
      }
    }
    ::close(fd);
  }

  PeerAction action_;
  std::string reply_;
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> connected_{false};
  std::string request_;
};

}  // namespace qm_test
