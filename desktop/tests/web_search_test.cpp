// The web search addresses: the escaped words in a table (the listed characters, the
// characters that would cut the query, Big5 pairs, control bytes; blanks and letters kept),
// the whole address of a+b in scope 2, a host given as an address, and the home page.
#include <gtest/gtest.h>

#include "desktop/web_search.h"

namespace qm {
namespace {

TEST(WebSearch, EscapesTheListedBytes) {
  const struct {
    std::string words, escaped;
  } cases[] = {
      {"a+b", "a%2Bb"},
      {"plain words", "plain words"},
      {"!@#$%^*()|\\/+-", "%21%40%23%24%25%5E%2A%28%29%7C%5C%2F%2B%2D"},
      {"a&p=1?x", "a%26p%3D1%3Fx"},
      {"\xA4\xA4\xA4\xE5", "%A4%A4%A4%E5"},
      {std::string("t\tn\x7F", 4), "t%09n%7F"},
      {"AND~[*] x.y_z", "AND~[%2A] x.y_z"},
      {std::string(80, 'w'), std::string(80, 'w')},
  };
  for (const auto& c : cases) EXPECT_EQ(web_search_escape(c.words), c.escaped) << c.words;
}

TEST(WebSearch, AddressAndHomePage) {
  EXPECT_EQ(web_search_address("search.example.org", "a+b", '2'),
            "http://search.example.org/cgi-bin/vesprin/tsearch?p=a%2Bb&func=2&a=15&w=2000");
  EXPECT_EQ(web_search_address("https://search.example.org/", "x y", '0'),
            "http://search.example.org/cgi-bin/vesprin/tsearch?p=x y&func=0&a=15&w=2000");
  EXPECT_EQ(web_search_home("search.example.org"), "http://search.example.org/vesprin/");
}

}  // namespace
}  // namespace qm
