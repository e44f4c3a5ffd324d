// The HTTP client's parsing pieces: addresses, responses, content classes, accept lists.
#include "searcher/forward/http_client.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UrlParse, HostPortAndPath) {
  struct Case {
    const char* address;
    int ok;
    const char* host;
    int port;
    const char* path;
  };
  const Case cases[] = {
      {"http://host/a/b.cgi", 1, "host", 80, "/a/b.cgi"},
      {"  HTTP://Host:8080", 1, "Host", 8080, "/"},
      {"https://secure.example/x", 1, "secure.example", 80, "/x"},  // plain HTTP, port 80
      {"hTTps://secure.example:443/", 1, "secure.example", 443, "/"},
      {"http://10.1.2.3:65535/p:q", 1, "10.1.2.3", 65535, "/p:q"},
      {"ftp://host/", 0, "", 0, ""},
      {"host/path", 0, "", 0, ""},
      {"http://", 0, "", 0, ""},
      {"http://:80/", 0, "", 0, ""},
      {"http://host:/", 0, "", 0, ""},
      {"http://host:8x/", 0, "", 0, ""},
      {"http://host:65536/", 0, "", 0, ""},
      {"http://ho\tst/", 0, "", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    qm::ParsedUrl url;
    ASSERT_EQ(qm::url_parse(c.address, url), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(url.host, c.host);
    EXPECT_EQ(url.port, c.port);
    EXPECT_EQ(url.path, c.path);
  }
  qm::ParsedUrl url;
  std::string host(qm::kUrlHostLimit, 'h'), path = "/" + std::string(qm::kUrlPathLimit - 1, 'p');
  EXPECT_EQ(qm::url_parse("http://" + host + path, url), 1);
  EXPECT_EQ(qm::url_parse("http://" + host + "h" + path, url), 0);
  EXPECT_EQ(qm::url_parse("http://" + host + path + "p", url), 0);
}

TEST(HttpParseResponse, StatusBodyAndClass) {
  struct Case {
    std::string response;
    int status;
    std::string body;
    int content_class;
  };
  const Case cases[] = {
      {"HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=big5\r\n\r\n<p>", 200, "<p>", 8},
      {"HTTP/1.1 200 OK\n\nbody\r\n\r\nmore", 200, "body\r\n\r\nmore", 1},  // "\n\n" first
      {"HTTP/1.0 200 OK\r\ncontent-type:text/plain\r\n\r\nx", 200, "x", 1},
      {"HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\n\r\nGIF", 200, "GIF", 2},
      {"HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\nz", 200, "z", 4},
      {"HTTP/1.0 200 OK\r\nContent-Type: application/pdf\r\n\r\nz", 200, "z", 16},
      {"HTTP/1.0 404 Not Found\r\n\r\ngone", 404, "", 1},
      {"HTTP/1.0 200 OK\r\n\r\n", qm::kHttpNoBody, "", 1},
      {"", qm::kHttpNoBody, "", 1},
      {"HTTP/1.0 200 OK\r\n", qm::kHttpNoHeaderEnd, "", 1},
      {"HTTP/1.\r\n\r\nbody", qm::kHttpNoBody, "", 1},
      {"HTTP/1.0 OK\r\n\r\nbody", qm::kHttpNoBody, "", 1},
      {"HTTP/1.0 20\r\n\r\nbody", 20, "", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.response);
    std::string body = "stale";
    int cls = 0;
    EXPECT_EQ(qm::http_parse_response(c.response, body, cls), c.status);
    EXPECT_EQ(body, c.body);
    EXPECT_EQ(cls, c.content_class);
  }
}

TEST(HttpClientState, AcceptListsProxyAndRequestHeader) {
  qm::http_client_reset();
  struct Case {
    int flags;
    const char* accept;
  };
  const Case cases[] = {
      {16, "*/*"},
      {31, "*/*"},
      {9, "text/html,text/plain"},
      {1, "text/html,text/plain"},
      {6, "image/*,audio/*,video/*,application/octet-stream"},
      {15, "text/html,text/plain,image/*,audio/*,video/*,application/octet-stream"},
      {0, ""},
  };
  for (const Case& c : cases) {
    qm::http_set_accept(c.flags);
    EXPECT_EQ(qm::http_client().accept, c.accept) << c.flags;
  }

  std::string host;
  int port = 0;
  EXPECT_FALSE(qm::http_get_proxy(host, port));
  qm::http_set_proxy("proxy.example", 3128);
  EXPECT_TRUE(qm::http_get_proxy(host, port));
  EXPECT_EQ(host, "proxy.example");
  EXPECT_EQ(port, 3128);
  qm::http_set_proxy("", 0);
  EXPECT_FALSE(qm::http_get_proxy(host, port));

  qm::http_set_accept(9);
  EXPECT_EQ(qm::http_build_request("/x", "h", "Sat, 01 Jan 2000 00:00:00 GMT"),
            "GET /x HTTP/1.0\r\nConnection: close\r\n"
            "If-Modified-Since: Sat, 01 Jan 2000 00:00:00 GMT\r\nAccept-Ranges: bytes\r\n"
            "User-Agent: Mozilla/4.0 (compatible; Quillmere 3.20;)\r\n"
            "Accept: text/html,text/plain\r\nHOST: h\r\n\r\n");
  qm::http_client_reset();
}

}  // namespace
