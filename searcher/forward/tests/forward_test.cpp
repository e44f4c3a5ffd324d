// Query forwarding against a loopback peer: the exact request bytes (direct and through a
// proxy), the relayed answer, every failure page, and the forwarded query text.
#include "searcher/forward/forward.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/html.h"
#include "common/strings.h"
#include "platform/socket.h"
#include "searcher/forward/http_client.h"
#include "searcher/forward/tests/loopback_peer.h"
#include "testsupport/test_files.h"

// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about string concatenations that it
// inlines in this file.
#pragma GCC diagnostic ignored "-Wrestrict"

namespace {

using qm_test::LoopbackPeer;
using qm_test::PeerAction;

const std::string kOkReply =
    "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<HTML>found</HTML>";

class Forward : public ::testing::Test {
 protected:
  void SetUp() override {
    qm::http_client_reset();
    qm::http_set_timeout(200);
  }
  void TearDown() override { qm::http_client_reset(); }

  qm::ForwardWriter writer() {
    return [this](const char* data, size_t n) { out_.append(data, n); };
  }
  std::string out_;
};

std::string expected_request(const std::string& target, const std::string& host,
                             const std::string& body) {
  return "POST " + target +
         " HTTP/1.0\r\n"
         "Connection: close\r\n"
         "User-Agent: Mozilla/4.0 (compatible; Quillmere 3.20;)\r\n"
         "Accept: text/html,text/plain\r\n"
         "HOST: " + host +
         "\r\n"
         "Content-Type: application/x-www-form-urlencoded\r\n"
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST_F(Forward, PostsExactRequestAndRelaysAnswerWithAddressComment) {
  LoopbackPeer peer(PeerAction::Reply, kOkReply);
  std::string address = "  http://127.0.0.1:" + std::to_string(peer.port()) + "/cgi-bin/find";
  std::string body = "s=1,3&p=%A4%A4&o=0&a=15&b=1&t=2&h=0&f=0&z=&i=docs,c:\\a b.htm,7";
  qm::forward_query(address + "?" + body, writer());

  EXPECT_EQ(peer.request(), expected_request("/cgi-bin/find", "127.0.0.1", body));
  EXPECT_EQ(out_, "<HTML>found</HTML>\n<!--" + address + "-->\n");
}

TEST_F(Forward, ProxyModeSendsAbsoluteTargetToTheProxy) {
  struct Case {
    const char* address;
    const char* target;
    const char* host;
  };
  const Case cases[] = {
      {"http://search.example/find", "http://search.example/find", "search.example"},
      {"HTTPS://search.example:8080/a/b", "http://search.example:8080/a/b", "search.example"},
      {"http://search.example", "http://search.example/", "search.example"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    out_.clear();
    LoopbackPeer proxy(PeerAction::Reply, kOkReply);
    qm::http_set_proxy("127.0.0.1", proxy.port());
    qm::forward_query(std::string(c.address) + "?s=1", writer());
    EXPECT_EQ(proxy.request(), expected_request(c.target, c.host, "s=1"));
    EXPECT_EQ(out_, std::string("<HTML>found</HTML>\n<!--") + c.address + "-->\n");
  }
}

TEST_F(Forward, BuildRequestUsesProxyOnlyWhenUseProxyIsOn) {
  LoopbackPeer server(PeerAction::Reply, kOkReply);
  LoopbackPeer proxy(PeerAction::Reply, kOkReply);
  qm::ForwardInput in;
  in.active_page = "http://127.0.0.1:" + std::to_string(server.port()) + "/x";
  in.s = "1";
  in.o = "0";
  in.proxy_ip = "127.0.0.1";
  in.proxy_port = proxy.port();

  in.use_proxy = false;
  qm::forward_build_request(in, writer());
  EXPECT_TRUE(server.connected());
  EXPECT_EQ(server.request().substr(0, 12), "POST /x HTTP");

  in.use_proxy = true;
  qm::forward_build_request(in, writer());
  EXPECT_EQ(proxy.request().substr(0, 5 + in.active_page.size()), "POST " + in.active_page);
}

TEST_F(Forward, RelaysBodyByLengthWithNulsAndLargeAnswers) {
  std::string body("a\0b\0\0c", 6);
  std::string big(250000, 'x');
  for (size_t i = 0; i < big.size(); i += 997) big[i] = '\0';
  const std::string bodies[] = {body, big};
  for (const std::string& b : bodies) {
    out_.clear();
    LoopbackPeer peer(PeerAction::Reply, "HTTP/1.1 200 OK\n\n" + b);
    std::string address = "http://127.0.0.1:" + std::to_string(peer.port()) + "/";
    qm::forward_query(address + "?s=1", writer());
    EXPECT_EQ(out_, b + "\n<!--" + address + "-->\n");
  }
}

TEST_F(Forward, EveryFailureGivesItsPage) {
  struct Case {
    const char* name;
    PeerAction action;
    std::string reply;  // for Reply
  };
  const Case cases[] = {
      {"not found", PeerAction::Reply, "HTTP/1.0 404 Not Found\r\n\r\n<H1>gone</H1>"},
      {"server error", PeerAction::Reply, "HTTP/1.0 500 Oops\r\n\r\nbody"},
      {"status 2000", PeerAction::Reply, "HTTP/1.0 2000 Odd\r\n\r\nbody"},
      {"empty 200 body", PeerAction::Reply, "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n"},
      {"no header end", PeerAction::Reply, "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n"},
      {"shorter than status line", PeerAction::Reply, "HTTP/1.0"},
      {"status line without status", PeerAction::Reply, "HTTP/1.0\r\n\r\nbody"},
      {"closed without reply", PeerAction::Close, ""},
      {"receive time-out", PeerAction::Silent, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    out_.clear();
    LoopbackPeer peer(c.action, c.reply);
    qm::forward_query("http://127.0.0.1:" + std::to_string(peer.port()) + "/f?s=1", writer());
    EXPECT_EQ(out_, qm::kForwardFailed);
    EXPECT_TRUE(peer.connected());
  }
}

TEST_F(Forward, ConnectFailuresAndBadAddresses) {
  std::string refused = "http://127.0.0.1:" + std::to_string(LoopbackPeer::closed_port()) + "/f?s=1";
  struct Case {
    std::string query;
    const char* page;
  };
  const Case cases[] = {
      {refused, qm::kForwardFailed},
      {"http://127.0.0.1:1/f", qm::kForwardCommandFailed},  // no "?"
      {"ftp://127.0.0.1/f?s=1", qm::kForwardFailed},        // not http
      {"http://127.0.0.1:0/f?s=1", qm::kForwardFailed},     // port out of range
      {"http://127.0.0.1:99999/f?s=1", qm::kForwardFailed},
      {"http://127.0.0.1/a\r\n\r\nb?s=1", qm::kForwardFailed},  // would break the header
      {"http:///f?s=1", qm::kForwardFailed},                   // no host
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    out_.clear();
    qm::forward_query(c.query, writer());
    EXPECT_EQ(out_, c.page);
  }
}

TEST_F(Forward, ConnectTimeOutGivesFailurePage) {
  // A listener that never accepts: once its queue is full, connects get no answer.
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin), 0);
  ASSERT_EQ(::listen(fd, 0), 0);
  socklen_t len = sizeof sin;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len);
  const uint16_t port = ntohs(sin.sin_port);
  qm::TcpSocket fillers[8];
  for (auto& f : fillers)
    if (f.connect("127.0.0.1", port, 100) == qm::SocketStatus::TimedOut) break;

  qm::http_set_timeout(100);
  qm::forward_query("http://127.0.0.1:" + std::to_string(port) + "/f?s=1", writer());
  EXPECT_EQ(out_, qm::kForwardFailed);
  EXPECT_EQ(qm::http_last_error(), qm::HttpError::NoConnection);
  ::close(fd);
}

TEST_F(Forward, ProxyThatRefusesGivesFailurePage) {
  qm::http_set_proxy("127.0.0.1", LoopbackPeer::closed_port());
  qm::forward_query("http://search.example/f?s=1", writer());
  EXPECT_EQ(out_, qm::kForwardFailed);
  EXPECT_EQ(qm::http_last_error(), qm::HttpError::NoConnection);
}

TEST_F(Forward, DefaultWriterIsTheProgramOutput) {
  std::FILE* file = std::tmpfile();
  qm::prog_set_output(file);
  qm::forward_query("no question mark");
  qm::prog_set_output(nullptr);
  std::string s = qm::test::file_contents(file);
  std::fclose(file);
  EXPECT_EQ(s, qm::kForwardCommandFailed);
}

// ---- The forwarded query ---------------------------------------------------------------

qm::ForwardInput sample_input() {
  qm::ForwardInput in;
  in.active_page = "http://host/find";
  in.s = "1,3";
  in.p = "%A4%A4+abc";
  in.o = "2x";
  in.rows = 10;
  in.first_item = 11;
  in.total = 42;
  in.h = "1";
  in.f = "2";
  in.z = "20000101,20001231";
  return in;
}

TEST(ForwardQueryText, FieldsInOrder) {
  struct Case {
    const char* name;
    void (*edit)(qm::ForwardInput&);
    const char* text;
  };
  const Case cases[] = {
      {"all", [](qm::ForwardInput&) {},
       "http://host/find?s=1,3&p=%A4%A4+abc&o=2&a=10&b=11&t=42&h=1&f=0&z=20000101,20001231"},
      {"g and hits",
       [](qm::ForwardInput& in) {
         in.g = "7,8";
         in.hits = {{"docs", "c:\\web\\a.htm", 5}, {"mail", "/m/1", 3}};
       },
       "http://host/find?s=1,3&p=%A4%A4+abc&o=2&a=10&b=11&t=42&h=1&f=0&z=20000101,20001231"
       "&g=7,8&i=docs,c:\\web\\a.htm,5&i=mail,/m/1,3"},
      {"empty values",
       [](qm::ForwardInput& in) {
         in.p.clear();
         in.o.clear();
         in.h.clear();
         in.f = "1";
         in.z.clear();
       },
       "http://host/find?s=1,3&p=&o=&a=10&b=11&t=42&h=0&f=1&z="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qm::ForwardInput in = sample_input();
    c.edit(in);
    EXPECT_EQ(qm::forward_query_text(in), c.text);
  }
}

TEST(ForwardQueryText, HitPiecesStopAtTheLimit) {
  qm::ForwardInput in = sample_input();
  const size_t head = qm::forward_query_text(in).size();
  // Pieces "&i=d,<path>,9" are 7 bytes plus the path. Fill to exactly the limit with
  // three pieces, then one byte too many for the fourth; a short fifth stays out too.
  const size_t room = qm::kForwardQueryLimit - head;
  const size_t third = room - 2 * (7 + 3000) - 7;
  in.hits = {{"d", std::string(3000, 'a'), 9},
             {"d", std::string(3000, 'b'), 9},
             {"d", std::string(third, 'c'), 9},
             {"d", "x", 9},
             {"d", "y", 9}};
  std::string text = qm::forward_query_text(in);
  EXPECT_EQ(text.size(), qm::kForwardQueryLimit);
  EXPECT_EQ(text.find("&i=d,x"), std::string::npos);
  EXPECT_EQ(text.find("&i=d,y"), std::string::npos);

  in.hits[2].path.push_back('c');  // now the third piece passes the limit
  text = qm::forward_query_text(in);
  EXPECT_EQ(text.size(), head + 2 * (7 + 3000));
  EXPECT_EQ(text.find("&i=d,x"), std::string::npos);
}

TEST(ForwardPageRange, FirstAndLastItems) {
  struct Case {
    const char* b;  // nullptr: absent
    int total, rows, first, last;
  };
  const Case cases[] = {
      {nullptr, 42, 10, 1, 10}, {"11", 42, 10, 11, 20}, {"41", 42, 10, 41, 42},
      {"42", 42, 10, 42, 42},   {"43", 42, 10, 1, 10},  {"0", 42, 10, 1, 10},
      {"-5", 42, 10, 1, 10},    {" 7x", 42, 5, 7, 11},  {"abc", 42, 5, 1, 5},
      {nullptr, 0, 15, 1, 0},   {"99999999999999", 5, 5, 1, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.b ? c.b : "(absent)");
    std::string b = c.b ? c.b : "";
    qm::ForwardPage page = qm::forward_page_range(c.b ? &b : nullptr, c.total, c.rows);
    EXPECT_EQ(page.first, c.first);
    EXPECT_EQ(page.last, c.last);
  }
}

}  // namespace
