// Seeded random and mutated addresses and HTTP responses for the forwarding client's
// parsers: nothing reads out of bounds (the sanitizer build), an accepted address has
// the parts the request header can carry and reads back the same when written out again,
// and a response gives a body only with status 200, as the tail of what was received.
#include <gtest/gtest.h>


#include "common/tests/random_text.h"
#include "searcher/forward/http_client.h"

namespace qm {
namespace {

using test::ExactBytes;

bool no_control(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

TEST(HttpRobustness, AddressesAndResponsesOnRandomText) {
  const std::vector<std::string> samples = {
      "  http://search.example.com:8080/cgi-bin/searcher?p=%A4%A4&s=1",
      "HTTPS://host/\xA4\xA4/path",
      "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=big5\r\n\r\n<html>\xA4\xA4</html>",
      "HTTP/1.1 404 Not Found\nContent-type :image/gif\n\nbody",
      "HTTP/1.0 20000000000000000 OK\r\n\r\n",
  };
  std::vector<std::string> inputs = {"http://", "http://:", "http://a:", "http://a:0",
                                     "http://a:65536", "http://a:99999999999", "HTTP/1.0 ",
                                     "HTTP/1.0 2", "\n\n", "\r\n\r\n", "HTTP/1.0 200\r\n\r\n"};
  test::RandomText rnd(0x477);
  for (int n = 0; n < 3000; ++n) inputs.push_back(rnd.input(samples, 400));

  for (const std::string& input : inputs) {
    test::InputTrace trace(input);
    ExactBytes bytes(input);

    ParsedUrl url;
    if (url_parse(bytes.view(), url) == 1) {
      EXPECT_FALSE(url.host.empty());
      EXPECT_LE(url.host.size(), kUrlHostLimit);
      EXPECT_EQ(url.host.find_first_of(":/"), std::string::npos);
      EXPECT_TRUE(!url.path.empty() && url.path[0] == '/');
      EXPECT_LE(url.path.size(), kUrlPathLimit);
      EXPECT_TRUE(no_control(url.host) && no_control(url.path));
      EXPECT_GE(url.port, 1);
      ParsedUrl again;
      ASSERT_EQ(url_parse("http://" + url.host + ":" + std::to_string(url.port) + url.path, again), 1);
      EXPECT_EQ(again.host, url.host);
      EXPECT_EQ(again.port, url.port);
      EXPECT_EQ(again.path, url.path);
    }

    std::string body;
    int content_class = 0;
    int status = http_parse_response(bytes.view(), body, content_class);
    EXPECT_TRUE(content_class == kHttpText || content_class == kHttpMedia ||
                content_class == kHttpOctetStream || content_class == kHttpHtml ||
                content_class == kHttpAny);
    if (status == 200) {
      EXPECT_FALSE(body.empty());
      EXPECT_TRUE(input.size() >= body.size() &&
                  input.compare(input.size() - body.size(), body.size(), body) == 0);
    } else {
      EXPECT_TRUE(body.empty());
      EXPECT_GE(status, 0);
    }
  }
}

}  // namespace
}  // namespace qm
