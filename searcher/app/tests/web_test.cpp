// The searcher behind a real web server: lighttpd on loopback (a private configuration
// and a free port) runs it as a CGI program; curl sends GET and POST searches the way a
// browser does (Big5 keywords as %XX bytes) and the pages are checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fixture.h"

namespace qm::test {
namespace {

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The href of the element with the given id attribute, entities as written.
std::string link_of(const std::string& page, const std::string& id) {
  const size_t at = page.find("id=" + id + " href=\"");
  if (at == std::string::npos) return {};
  const size_t start = at + id.size() + 10;
  return page.substr(start, page.find('"', start) - start);
}

TEST(SearcherWeb, SearchesThroughLighttpd) {
  SearcherSite site;
  WebServer server(site);
  ASSERT_TRUE(server.started()) << "lighttpd did not start: " << server.log();

  // The home page is served as it is, declaring Big5.
  RunResult home = curl(server.url("/"), true);
  ASSERT_EQ(home.exit_code, 0) << home.err;
  EXPECT_TRUE(contains(home.out, "charset=big5"));
  EXPECT_TRUE(contains(home.out, "action=\"/cgi-bin/searcher\""));

  // A Chinese word as a Big5 form sends it: 茶 = AF F9.
  RunResult chinese = curl(server.url("/cgi-bin/searcher?s=1&p=%AF%F9"), true);
  ASSERT_EQ(chinese.exit_code, 0) << chinese.err;
  EXPECT_TRUE(contains(chinese.out, "200 OK")) << chinese.out;
  EXPECT_TRUE(contains(chinese.out, "<b>2</b> hits"));
  EXPECT_TRUE(contains(chinese.out, "<FONT COLOR=#FF0000>\xAF\xF9</FONT>\xC0\x5D"));  // 茶館
  EXPECT_TRUE(contains(chinese.out, "href=\"/docs/river.txt\">River tea house</a>"));

  // An English word, first page of 5, then the next page through the link it offers.
  RunResult first = curl(server.url("/cgi-bin/searcher?s=1&p=tea&a=5"));
  ASSERT_EQ(first.exit_code, 0) << first.err;
  EXPECT_TRUE(contains(first.out, "<b>7</b> hits for <b>tea</b>; 1 to 5 shown"));
  const std::string next = link_of(first.out, "next");
  ASSERT_EQ(next, "/cgi-bin/searcher?s=1&a=5&k=&m=0&p=tea&b=6");
  RunResult second = curl(server.url(next));
  EXPECT_TRUE(contains(second.out, "Hits 6 to 7 of <b>7</b>"));
  EXPECT_TRUE(contains(second.out, "7. <a class=title href=\"/docs/river.txt\">"));
  EXPECT_EQ(link_of(second.out, "prev"), "/cgi-bin/searcher?s=1&a=5&k=&m=0&p=tea&b=1");

  // The "continue" form posts the same request with b.
  const std::string body = "s=1&a=5&k=&m=0&p=tea&b=6";
  RunResult posted = curl(server.url("/cgi-bin/searcher"), false, &body);
  EXPECT_EQ(posted.out, second.out);

  // A linked document is served by the same server.
  RunResult doc = curl(server.url("/docs/green.txt"));
  EXPECT_TRUE(contains(doc.out, "Green tea is picked in spring"));

  // An error ends in the error page (the CGI program exits 255 after writing it).
  RunResult error = curl(server.url("/cgi-bin/searcher?p=tea"), true);
  EXPECT_TRUE(contains(error.out, "<p id=error>No database for query !!</p>"));
  const std::string bad = "s=1&p=%2B";
  RunResult bad_post = curl(server.url("/cgi-bin/searcher"), false, &bad);
  EXPECT_TRUE(contains(bad_post.out, "<p id=error>Invalid keyword !</p>"));
}

// The server configuration shipped for people's own documents starts without
// QM_TEXT_CHARSET (plain-text documents go out as UTF-8) and takes the one given.
TEST(SearcherWeb, ShippedConfigurationNeedsNoTextCharset) {
  SearcherSite site;
  const std::vector<std::string> env = {"PATH=/usr/bin:/bin", "QM_BIN=" + site.bin(),
                                        "QM_WWW=" + site.www(), "QM_PORT=8080"};
  const std::string conf = std::string(QM_SOURCE_DIR) + "/scripts/lighttpd.conf";
  const struct {
    const char* given;
    const char* sent;
  } cases[] = {{nullptr, "charset=utf-8\""}, {"", "charset=utf-8\""}, {"big5", "charset=big5\""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.given ? c.given : "unset");
    std::vector<std::string> run_env = env;
    if (c.given) run_env.push_back(std::string("QM_TEXT_CHARSET=") + c.given);
    const RunResult r = run_program({"/usr/sbin/lighttpd", "-p", "-f", conf}, run_env);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, std::string("\".txt\"  => \"text/plain; ") + c.sent)) << r.out << r.err;
  }
}

// The home page offers the sort orders, relevance (score descending) first and chosen;
// each one that it offers lists the hits in its order.
TEST(SearcherWeb, HomePageSortOrdersSortTheHits) {
  SearcherSite site;
  WebServer server(site);
  ASSERT_TRUE(server.started()) << "lighttpd did not start: " << server.log();
  const std::string home = curl(server.url("/")).out;
  EXPECT_TRUE(contains(home, "<select name=o id=o>\n<option value=2 selected>relevance")) << home;
  EXPECT_TRUE(contains(home, "name=t value=1> titles only, 50 per page"));

  struct {
    std::string o;
    bool by_date, descending;
  } cases[] = {{"2", false, true}, {"4", true, true}, {"3", true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE("o=" + c.o);
    EXPECT_TRUE(contains(home, "<option value=" + c.o));
    const std::string page = curl(server.url("/cgi-bin/searcher?s=1&p=tea&o=" + c.o)).out;
    // "score N, yyyy/mm/dd" of every hit, in page order.
    std::vector<std::string> keys;
    for (size_t at = page.find("<span class=score>score "); at != std::string::npos;
         at = page.find("<span class=score>score ", at + 1)) {
      const size_t start = at + 24, comma = page.find(", ", start);
      const std::string score = page.substr(start, comma - start), date = page.substr(comma + 2, 10);
      keys.push_back(c.by_date ? date : std::string(8 - score.size(), '0') + score);
    }
    ASSERT_EQ(keys.size(), 7u) << page;
    std::vector<std::string> sorted = keys;
    std::stable_sort(sorted.begin(), sorted.end());
    if (c.descending) std::reverse(sorted.begin(), sorted.end());
    EXPECT_EQ(keys, sorted);
    EXPECT_NE(keys.front(), keys.back());
  }
}

// A searcher with ActivePage set posts the query and its page of hits to a second
// searcher on the same server and relays that one's page after its own header.
TEST(SearcherWeb, ForwardsToAnotherSearcherAndRelaysItsPage) {
  SearcherSite site;
  WebServer server(site);
  ASSERT_TRUE(server.started()) << "lighttpd did not start: " << server.log();
  site.write_forwarder(server.port());

  RunResult direct = curl(server.url("/cgi-bin/searcher?s=1&p=tea"));
  RunResult relayed = curl(server.url("/cgi-bin/forwarder?s=1&p=tea"), true);
  ASSERT_EQ(relayed.exit_code, 0) << relayed.err;
  EXPECT_TRUE(contains(relayed.out, "200 OK")) << relayed.out;
  EXPECT_TRUE(contains(direct.out, "<b>7</b> hits for <b>tea</b>"));
  // The answering searcher saw the same query (with the page's first item, so its next
  // page template) and found the same hits.
  EXPECT_TRUE(contains(relayed.out, "Hits 1 to 7 of <b>7</b> for <b>tea</b>")) << relayed.out;
  EXPECT_TRUE(contains(relayed.out, "href=\"/docs/river.txt\">")) << relayed.out;
  // Exactly one content-type header reaches the browser: the forwarder's own.
  const size_t first = relayed.out.find("Content-Type:");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(relayed.out.find("Content-Type:", first + 1), std::string::npos) << relayed.out;
}

}  // namespace
}  // namespace qm::test
