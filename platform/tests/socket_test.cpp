// TCP client sockets on the loopback interface: resolution, connect failures and
// time-outs, whole sends, receive time-outs, and a write to a reset connection that must
// fail without SIGPIPE.
#include "platform/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

// A listening socket on 127.0.0.1 with an ephemeral port.
struct Listener {
  explicit Listener(int backlog = 4) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin), 0);
    EXPECT_EQ(::listen(fd, backlog), 0);
    socklen_t len = sizeof sin;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len);
    port = ntohs(sin.sin_port);
  }
  ~Listener() { ::close(fd); }
  int accept() { return ::accept(fd, nullptr, nullptr); }
  int fd = -1;
  uint16_t port = 0;
};

TEST(Socket, ResolvesDottedAndNamedAddresses) {
  uint32_t a = 0;
  ASSERT_TRUE(qm::socket_resolve("127.0.0.1", a));
  EXPECT_EQ(a, htonl(INADDR_LOOPBACK));
  ASSERT_TRUE(qm::socket_resolve("localhost", a));
  EXPECT_EQ(ntohl(a) >> 24, 127u);
  EXPECT_FALSE(qm::socket_resolve("", a));
  EXPECT_FALSE(qm::socket_resolve("no-such-host.invalid", a));
}

TEST(Socket, SendsAllAndReceivesUntilClose) {
  Listener listener;
  std::string payload(3 << 20, 'p');  // more than the socket buffers hold at once
  for (size_t i = 0; i < payload.size(); i += 4093) payload[i] = char(i);
  std::string received;
  std::thread peer([&] {
    int fd = listener.accept();
    char buffer[65536];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) received.append(buffer, n);
    ::send(fd, "bye", 3, MSG_NOSIGNAL);
    ::close(fd);
  });
  qm::TcpSocket s;
  ASSERT_EQ(s.connect("127.0.0.1", listener.port, 2000), qm::SocketStatus::Ok);
  ASSERT_EQ(s.send_all(payload.data(), payload.size(), 2000), qm::SocketStatus::Ok);
  ::shutdown(s.fd(), SHUT_WR);
  std::string answer;
  char buffer[2];
  size_t got = 0;
  qm::SocketStatus st;
  while ((st = s.receive(buffer, sizeof buffer, got, 2000)) == qm::SocketStatus::Ok)
    answer.append(buffer, got);
  peer.join();
  EXPECT_EQ(st, qm::SocketStatus::Closed);
  EXPECT_EQ(answer, "bye");
  EXPECT_TRUE(received == payload);
}

TEST(Socket, RefusedConnectAndReceiveTimeOut) {
  uint16_t closed_port;
  {
    Listener gone;
    closed_port = gone.port;
  }
  qm::TcpSocket s;
  EXPECT_EQ(s.connect("127.0.0.1", closed_port, 200), qm::SocketStatus::Failed);
  EXPECT_FALSE(s.is_open());

  Listener silent;  // accepts (through the backlog) but never writes
  ASSERT_EQ(s.connect("127.0.0.1", silent.port, 200), qm::SocketStatus::Ok);
  char c;
  size_t got = 1;
  EXPECT_EQ(s.receive(&c, 1, got, 200), qm::SocketStatus::TimedOut);
  EXPECT_EQ(got, 0u);
}

TEST(Socket, WriteToResetConnectionFailsWithoutSignal) {
  Listener listener;
  qm::TcpSocket s;
  ASSERT_EQ(s.connect("127.0.0.1", listener.port, 2000), qm::SocketStatus::Ok);
  int fd = listener.accept();
  linger hard{1, 0};  // close with a reset
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  ::close(fd);
  char c;
  size_t got = 0;
  qm::SocketStatus st = s.receive(&c, 1, got, 2000);
  EXPECT_TRUE(st == qm::SocketStatus::Failed || st == qm::SocketStatus::Closed);
  // Without MSG_NOSIGNAL this send would raise SIGPIPE and end the test process.
  std::string data(1000, 'x');
  EXPECT_EQ(s.send_all(data.data(), data.size(), 2000), qm::SocketStatus::Failed);
  EXPECT_EQ(s.send_all(data.data(), data.size(), 2000), qm::SocketStatus::Failed);
}

}  // namespace

namespace {

TEST(Socket, ConnectTimesOutWhenTheBacklogIsFull) {
  Listener full(0);  // never accepts: once its queue is full, new connects get no answer
  qm::TcpSocket fillers[8];
  for (auto& f : fillers)
    if (f.connect("127.0.0.1", full.port, 100) == qm::SocketStatus::TimedOut) break;
  qm::TcpSocket s;
  EXPECT_EQ(s.connect("127.0.0.1", full.port, 100), qm::SocketStatus::TimedOut);
  EXPECT_FALSE(s.is_open());
}

}  // namespace
