// Hit records: byte form, the four operator combinations and the per-document collapse.
#include "searcher/hits.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

// A hit of database db, document d, paragraph p with the given score (hit count 1).
HitRecord H(uint16_t db, uint32_t d, uint16_t p, uint16_t score = 1) {
  HitRecord h;
  h.database = db;
  h.document = d;
  h.paragraph = p;
  h.position = uint16_t(p * 10);
  h.score = score;
  h.hit_count = 1;
  return h;
}

// "db:doc.para=score" per record.
std::string show(const HitList& l) {
  std::string s;
  for (const auto& h : l)
    s += std::to_string(h.database) + ":" + std::to_string(h.document) + "." + std::to_string(h.paragraph) +
         "=" + std::to_string(h.score) + " ";
  return s;
}

TEST(Hits, EncodeDecodeRoundTrip) {
  HitRecord h = H(0x1A, 0x01020304, 7, 9);
  h.position = 0xFFFF;
  h.hit_count = -5;
  std::string bytes;
  hits_encode({h, H(1, 2, 3)}, bytes);
  ASSERT_EQ(bytes.size(), 40u);
  EXPECT_EQ(bytes.substr(0, 20), std::string("\x1A\0\0\0\x04\x03\x02\x01\x07\0\xFF\xFF\x09\0\0\0\xFB\xFF\xFF\xFF", 20));
  HitList back;
  ASSERT_TRUE(hits_decode(bytes, back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0], h);
  EXPECT_FALSE(hits_decode(bytes.substr(0, 30), back));
}

TEST(Hits, Combinations) {
  struct Case {
    const char* name;
    HitList left, right;
    char op;
    std::string expected;
  };
  const Case cases[] = {
      // Same paragraph: the first common paragraph; the rest of the document adds 1 each.
      {"and paragraph", {H(1, 0, 0), H(1, 0, 2), H(1, 0, 3), H(1, 4, 1)}, {H(1, 0, 2), H(1, 0, 5), H(1, 4, 2)},
       '&', "1:0.2=4 "},
      {"and paragraph, other database", {H(1, 0, 0)}, {H(2, 0, 0)}, '&', ""},
      // Same document.
      {"and document", {H(1, 0, 0), H(1, 0, 1), H(1, 3, 0)}, {H(1, 0, 5), H(1, 2, 0), H(1, 3, 9)}, '*',
       "1:0.0=2 1:3.0=2 "},
      {"and with empty", {H(1, 0, 0)}, {}, '*', ""},
      // And not: every record of a document found on the right goes.
      {"and not", {H(1, 0, 0), H(1, 0, 1), H(1, 0, 2), H(1, 1, 0), H(2, 0, 0)}, {H(1, 0, 7), H(2, 1, 0)}, '-',
       "1:1.0=1 2:0.0=1 "},
      {"and not empty right", {H(1, 0, 0)}, {}, '-', "1:0.0=1 "},
      // Or.
      {"or", {H(1, 0, 0), H(1, 2, 0)}, {H(1, 1, 0), H(1, 2, 3), H(3, 0, 0)}, '+',
       "1:0.0=1 1:1.0=1 1:2.0=2 3:0.0=1 "},
      {"or with empty", {}, {H(1, 1, 0)}, '+', "1:1.0=1 "},
      // Scores stop at 65,535.
      {"saturating", {H(1, 0, 0, 65000)}, {H(1, 0, 0, 1000)}, '*', "1:0.0=65535 "},
  };
  for (const Case& c : cases) EXPECT_EQ(show(hits_combine(c.left, c.right, c.op)), c.expected) << c.name;
}

TEST(Hits, CollapseDocuments) {
  HitList l = {H(1, 0, 0, 2), H(1, 0, 4, 3), H(1, 1, 0), H(2, 1, 6), H(2, 1, 7, 65535)};
  hits_collapse_documents(l);
  EXPECT_EQ(show(l), "1:0.4=5 1:1.0=1 2:1.7=65535 ");
  HitList empty;
  hits_collapse_documents(empty);
  EXPECT_TRUE(empty.empty());
}

}  // namespace
}  // namespace qm
