// Posting lists: union, paragraph filter, restriction and the character joins.
#include "searcher/postings.h"
#include "searcher/tests/reference_join.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about string concatenations that it
// inlines in this file.
#pragma GCC diagnostic ignored "-Wrestrict"

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

TEST(Postings, WithinARunOfDocuments) {
  const PostingList list = {P(0, 0, 0), P(0, 3, 2), P(2, 0, 0), P(2, 1, 0), P(7, 0, 0), P(0xFFFFFFFF, 0, 4)};
  const auto within = [&](uint32_t first, uint64_t end) {
    const PostingSpan span = postings_within(PostingSpan::of(list), DocumentRange{first, end});
    PostingList out;
    for (size_t i = 0; i < span.size(); ++i) out.push_back(span.entry(i));
    return show(out);
  };
  const struct {
    uint32_t first;
    uint64_t end;
    const char* expected;
  } cases[] = {
      {0, uint64_t(1) << 32, "(0,0,0)(0,3,2)(2,0,0)(2,1,0)(7,0,0)(4294967295,0,4)"},  // whole
      {0, 1, "(0,0,0)(0,3,2)"},
      {1, 3, "(2,0,0)(2,1,0)"},
      {3, 7, ""},                                   // between documents
      {7, 0xFFFFFFFF, "(7,0,0)"},
      {8, uint64_t(1) << 32, "(4294967295,0,4)"},   // the last document number
      {5, 5, ""},                                   // an empty run
      {9, 4, ""},                                   // an end before the first
  };
  for (const auto& c : cases) EXPECT_EQ(within(c.first, c.end), c.expected) << c.first << ".." << c.end;
  EXPECT_TRUE(postings_within(PostingSpan{}, DocumentRange{1, 2}).empty());
}

TEST(Postings, DocumentEnds) {
  // Runs of one, two and many entries, a long run galloped past, and the last document
  // number (whose next document number does not exist).
  PostingList list = {P(0, 0, 0), P(2, 0, 0), P(2, 1, 0)};
  for (uint16_t k = 0; k < 100; ++k) list.push_back(P(5, k, 0));
  list.push_back(P(6, 0, 0));
  list.push_back(P(0xFFFFFFFF, 0, 0));
  list.push_back(P(0xFFFFFFFF, 0, 2));
  std::string ends;
  for (size_t at = 0; at < list.size(); at = postings_document_end(PostingSpan::of(list), at))
    ends += std::to_string(at) + " ";
  EXPECT_EQ(ends, "0 1 3 103 104 ");
  EXPECT_EQ(postings_document_end(PostingSpan::of(list), 50), 103u);
  EXPECT_EQ(postings_document_end(PostingSpan::of(list), 105), 106u);
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
      // Positions at the end of the range and a paragraph after them.
      {"last positions", {{P(0, 0, 65520)}, {P(0, 0, 65526)}, {P(0, 0, 65532)}, {P(1, 0, 0)}}, true,
       "(0,0,65520)"},
      {"next paragraph", {{P(0, 0, 65534), P(0, 1, 0)}, {P(0, 1, 2)}, {P(0, 1, 4)}, {P(0, 0, 65535)}}, true,
       "(0,1,0)"},
      // A list that runs out does not make the join skip the next smallest entry.
      {"run out", {{P(0, 0, 0)}, {P(1, 0, 0)}, {P(1, 0, 2)}, {P(1, 0, 4)}}, true, "(1,0,0)"},
  };
  for (const Case& c : cases) {
    std::vector<PostingList> lists = c.lists;
    if (!c.tolerant) postings_restrict_to_shortest(lists);
    EXPECT_EQ(show(postings_join_characters(lists, c.tolerant)), c.expected) << c.name;
  }
}

TEST(Postings, TolerantJoinMatchesTheScanOfEachParagraph) {
  std::mt19937 rng(4242);
  auto below = [&](uint32_t k) { return uint32_t(rng() % k); };
  size_t hits = 0;
  for (int round = 0; round < 1000; ++round) {
    const size_t n = 2 + below(9);
    // Few documents and paragraphs for dense cases, many for sparse ones.
    const uint32_t documents = 1 + below(round % 2 ? 4 : 60);
    const uint32_t paragraphs = 1 + below(3);
    const uint32_t base = round % 5 == 0 ? 65480 : 0;  // now and then near the last position
    std::vector<PostingList> lists(n);
    for (size_t i = 0; i < n; ++i) {
      if (i > 0 && below(8) == 0) {  // the same character again
        lists[i] = lists[below(uint32_t(i))];
        continue;
      }
      if (below(10) == 0) continue;  // a character that does not occur
      for (uint32_t e = below(40); e > 0; --e)
        lists[i].push_back(P(below(documents), uint16_t(below(paragraphs)), uint16_t(base + 2 * below(28))));
      std::sort(lists[i].begin(), lists[i].end(),
                [](const PostingEntry& a, const PostingEntry& b) { return posting_compare(a, b) < 0; });
      if (below(3) != 0)  // mostly one entry per place, as a single character's list
        lists[i].erase(std::unique(lists[i].begin(), lists[i].end(),
                                   [](const PostingEntry& a, const PostingEntry& b) { return posting_compare(a, b) == 0; }),
                       lists[i].end());
    }
    const PostingList expected = reference::postings_join_characters(lists, true);
    hits += expected.size();
    ASSERT_EQ(show(postings_join_characters(lists, true)), show(expected)) << "round " << round;
  }
  EXPECT_GT(hits, 300u);  // the cases are meant to find words
}

}  // namespace
}  // namespace qm
