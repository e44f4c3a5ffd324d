// Posting lists: union, paragraph filter, restriction and the character joins.
#include "searcher/postings.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

PostingEntry P(uint32_t d, uint16_t para, uint16_t pos) { return PostingEntry{d, para, pos}; }

std::string show(const PostingList& l) {
  std::string s;
  for (const auto& e : l)
    s += "(" + std::to_string(e.document) + "," + std::to_string(e.paragraph) + "," + std::to_string(e.position) + ")";
  return s;
}

TEST(Postings, UnionKeepsBothCopiesInOrder) {
  PostingList a = {P(0, 0, 0), P(1, 0, 4)};
  PostingList b = {P(0, 0, 0), P(0, 1, 2), P(2, 0, 0)};
  EXPECT_EQ(show(postings_union(a, b)), "(0,0,0)(0,0,0)(0,1,2)(1,0,4)(2,0,0)");
  EXPECT_EQ(show(postings_union(a, a)), "(0,0,0)(0,0,0)(1,0,4)(1,0,4)");
  EXPECT_EQ(show(postings_union({}, b)), show(b));
  EXPECT_EQ(show(postings_union(a, {})), show(a));
}

TEST(Postings, ParagraphFilter) {
  struct Case {
    std::string k;
    std::vector<uint16_t> pass;  // among paragraphs 0..7 and 999, 65534
  };
  const Case cases[] = {
      {"2", {1}},
      {"2~4", {1, 2, 3}},
      {"3~", {2, 3, 4, 5, 6, 7, 999, 65534}},
      {"0", {}},
      {"1,3", {0, 2}},
      {",,2,", {1}},
      {"1000", {999}},  // whole numbers, not three digits
      {"5~3", {}},
      {"70000,1", {0}},
      {"7~,2~3", {1, 2, 6, 7, 999, 65534}},
      {"x,2", {1}},
      {"65535", {65534}},
  };
  const std::vector<uint16_t> probe = {0, 1, 2, 3, 4, 5, 6, 7, 999, 65534};
  for (const Case& c : cases) {
    ParagraphFilter f(c.k);
    std::vector<uint16_t> got;
    for (uint16_t p : probe)
      if (f.passes(p)) got.push_back(p);
    EXPECT_EQ(got, c.pass) << c.k;
  }
  EXPECT_TRUE(ParagraphFilter().passes(12));
  PostingList l = {P(0, 0, 0), P(0, 1, 0), P(0, 2, 0), P(1, 1, 4)};
  EXPECT_EQ(postings_filter_paragraphs(l, ParagraphFilter("2")), 2u);
  EXPECT_EQ(show(l), "(0,1,0)(1,1,4)");
}

TEST(Postings, RestrictToShortest) {
  std::vector<PostingList> lists = {
      {P(0, 0, 0), P(0, 1, 0), P(1, 0, 2), P(1, 0, 8), P(2, 3, 0)},
      {P(1, 0, 4), P(2, 3, 6)},
      {P(0, 1, 4), P(0, 2, 0), P(2, 3, 2), P(2, 3, 10), P(3, 0, 0)},
  };
  postings_restrict_to_shortest(lists);
  EXPECT_EQ(show(lists[0]), "(1,0,2)(1,0,8)(2,3,0)");
  EXPECT_EQ(show(lists[1]), "(1,0,4)(2,3,6)");
  EXPECT_EQ(show(lists[2]), "(2,3,2)(2,3,10)");
}

TEST(Postings, JoinCharacters) {
  struct Case {
    const char* name;
    std::vector<PostingList> lists;
    bool tolerant;
    std::string expected;
  };
  const PostingList twice = {P(0, 0, 6), P(0, 0, 8)};  // the same character at 6 and 8
  const Case cases[] = {
      {"neighbours", {{P(0, 0, 0), P(0, 0, 10)}, {P(0, 0, 2), P(0, 0, 20)}}, false, "(0,0,0)"},
      {"one character between", {{P(0, 0, 0)}, {P(0, 0, 4)}}, false, ""},
      {"other paragraph", {{P(0, 0, 0)}, {P(0, 1, 2)}}, false, ""},
      {"several hits", {{P(0, 0, 0), P(0, 3, 8), P(5, 0, 2)}, {P(0, 0, 2), P(0, 3, 10), P(5, 0, 4)}},
       false, "(0,0,0)(0,3,8)(5,0,2)"},
      {"same character twice", {twice, twice}, false, "(0,0,6)"},
      {"first and third alike", {{P(0, 0, 0), P(0, 0, 4)}, {P(0, 0, 2)}, {P(0, 0, 0), P(0, 0, 4)}}, false,
       "(0,0,0)"},
      // Fault tolerance, four characters: three in order within 14 bytes.
      {"three of four", {{P(0, 0, 0)}, {P(0, 0, 2)}, {P(0, 0, 4)}, {P(1, 0, 0)}}, true, "(0,0,0)"},
      {"first missing", {{}, {P(0, 0, 2)}, {P(0, 0, 4)}, {P(0, 0, 6)}}, true, "(0,0,2)"},
      {"reverse order", {{P(0, 0, 8)}, {P(0, 0, 4)}, {P(0, 0, 0)}, {P(1, 0, 0)}}, true, ""},
      {"span 14", {{P(0, 0, 0)}, {P(0, 0, 6)}, {}, {P(0, 0, 14)}}, true, "(0,0,0)"},
      {"span 16", {{P(0, 0, 0)}, {P(0, 0, 6)}, {}, {P(0, 0, 16)}}, true, ""},
      {"gaps within a paragraph", {{P(0, 0, 0)}, {P(0, 0, 4)}, {P(0, 0, 8)}, {P(2, 0, 0)}}, true, "(0,0,0)"},
      {"two paragraphs", {{P(0, 0, 0)}, {P(0, 0, 2)}, {P(0, 1, 4)}, {P(0, 1, 6)}}, true, ""},
      // Three characters need all three, close together in order.
      {"three of three", {{P(0, 0, 0)}, {P(0, 0, 4)}, {P(0, 0, 8)}}, true, "(0,0,0)"},
      {"three too far", {{P(0, 0, 0)}, {P(0, 0, 4)}, {P(0, 0, 12)}}, true, ""},
      // A list that runs out does not make the join skip the next smallest entry.
      {"run out", {{P(0, 0, 0)}, {P(1, 0, 0)}, {P(1, 0, 2)}, {P(1, 0, 4)}}, true, "(1,0,0)"},
  };
  for (const Case& c : cases) {
    std::vector<PostingList> lists = c.lists;
    if (!c.tolerant) postings_restrict_to_shortest(lists);
    EXPECT_EQ(show(postings_join_characters(lists, c.tolerant)), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace qm
