// The searcher request of a desktop search: escaping of the search text (operators, the
// characters that would add parameters, Big5 bytes), the order of the parameters, and the
// refusal of a request the searcher would find too long.
#include <gtest/gtest.h>

#include "desktop/search/search_request.h"

namespace qm {
namespace {

TEST(SearchRequest, EscapesOperatorsParameterCharactersAndBig5) {
  const struct {
    std::string text;
    std::string escaped;
  } cases[] = {
      {"a+b", "a%2Bb"},
      {"tea house", "tea house"},  // the blank stays a blank
      {"\xAF\xF9", "%AF%F9"},      // a Big5 character: two groups
      {"!@#$%^*()|\\/+-", "%21%40%23%24%25%5E%2A%28%29%7C%5C%2F%2B%2D"},
      {"a&s=9", "a%26s%3D9"},      // cannot add a parameter
      {"x?y", "x%3Fy"},
      {std::string("a\tb\x7F", 4), "a%09b%7F"},
      {"AZaz09.,_~\"'<>", "AZaz09.,_~\"'<>"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeSearchText(c.text), c.escaped) << c.text;
}

TEST(SearchRequest, ParametersInOrder) {
  SearchRequestInput in;
  in.database_ids = {3, 7};
  in.homophone = true;
  in.lexical = true;
  in.rows_per_page = 50;
  in.text = "tea";
  EXPECT_EQ(BuildSearchQuery(in).value_or("refused"), "s=3,7&h=1&l=1&a=50&b=1&p=tea");

  in.fault = true;
  in.mail_fields_wanted = true;
  in.mail_fields[0] = in.mail_fields[2] = true;
  in.page_start = 101;
  EXPECT_EQ(BuildSearchQuery(in).value_or("refused"),
            "s=3,7&h=1&f=1&l=1&k=1,3&a=50&b=101&p=tea");

  in.mail_fields[0] = in.mail_fields[2] = false;  // mail fields wanted, none chosen
  EXPECT_EQ(BuildSearchQuery(in).value_or("refused"), "s=3,7&h=1&f=1&l=1&k=&a=50&b=101&p=tea");
}

TEST(SearchRequest, RowsThePageHolds) {
  const int cases[][2] = {{1, 5}, {5, 5}, {50, 50}, {100, 100}, {150, 100}};
  for (const auto& c : cases) EXPECT_EQ(SearcherRowsPerPage(c[0]), c[1]) << c[0];
}

TEST(SearchRequest, TooLongIsRefusedNeverCut) {
  SearchRequestInput in;
  in.database_ids = {1};
  in.rows_per_page = 100;
  const std::string head = "s=1&a=100&b=1&p=";
  in.text = std::string(kSearcherRequestLimit - 1 - head.size(), 'a');
  ASSERT_TRUE(BuildSearchQuery(in).has_value());
  EXPECT_EQ(BuildSearchQuery(in)->size(), kSearcherRequestLimit - 1);
  in.text += 'a';  // 1,024 bytes
  EXPECT_FALSE(BuildSearchQuery(in).has_value());

  // Escaping counts: 400 Big5 bytes become 1,200.
  in.text = std::string(400, '\xA4');
  EXPECT_FALSE(BuildSearchQuery(in).has_value());
  // Many databases.
  in.text = "tea";
  for (int id = 1; id <= 300; ++id) in.database_ids.push_back(id);
  EXPECT_FALSE(BuildSearchQuery(in).has_value());
}

}  // namespace
}  // namespace qm
