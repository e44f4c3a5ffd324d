// Memory blocks and the term tree: growth and stable pieces of the blocks, the tree's
// duplicate rules, and a seeded random run against std::multimap with the red-black
// rules checked along the way.
#include "common/term_tree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/strings.h"
#include "platform/le.h"

// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about string concatenations that it
// inlines in this file.
#pragma GCC diagnostic ignored "-Wrestrict"

namespace {

// ---- Blocks -----------------------------------------------------------------------------

TEST(HeapBlock, GrowsByWhatARequestNeedsAndKeepsContents) {
  struct Case {
    uint32_t increment, first, request, capacity;
  };
  const Case cases[] = {
      {16, 10, 6, 16},    // fits
      {16, 10, 7, 32},    // one increment
      {16, 10, 22, 32},   // exactly free + increment
      {16, 10, 23, 48},   // more than one increment
      {16, 10, 100, 112},
      {0, 0, 5, 5},       // no increment: grows by the shortfall
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.increment << "/" << c.request);
    qm::HeapBlock b;
    qm::heap_init(b, c.increment);
    std::string first(c.first, 'a');
    ASSERT_TRUE(c.first == 0 || qm::heap_append(b, first.data(), c.first));
    auto* p = static_cast<unsigned char*>(qm::heap_get_space(b, c.request));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(b.capacity, c.capacity);
    EXPECT_EQ(b.used, c.first + c.request);
    EXPECT_EQ(b.free, b.capacity - b.used);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.memory), c.first), first);
    for (uint32_t i = 0; i < c.request; ++i) ASSERT_EQ(p[i], 0) << i;
    qm::heap_release(b);
    EXPECT_EQ(b.memory, nullptr);
    EXPECT_EQ(b.capacity + b.used + b.free + b.increment, 0u);
  }
}

TEST(HeapBlock, ChainPiecesStayPutAndLargePiecesGetTheirOwnBlock) {
  qm::HeapBlock chain;
  qm::heap_init(chain, 32);
  char* a = static_cast<char*>(qm::heap_link_space(chain, 20));
  std::memcpy(a, "first piece, twenty", 20);
  char* b = static_cast<char*>(qm::heap_link_space(chain, 20));  // a new block
  std::memcpy(b, "second piece, twenty", 20);
  ASSERT_NE(chain.next, nullptr);
  EXPECT_EQ(chain.next->capacity, 32u);

  char* big = static_cast<char*>(qm::heap_link_space(chain, 100));  // own block
  std::memset(big, 'z', 100);
  ASSERT_NE(chain.next->next, nullptr);
  EXPECT_EQ(chain.next->next->capacity, 100u);
  char* c = static_cast<char*>(qm::heap_link_space(chain, 4));
  EXPECT_EQ(chain.next->next->next->capacity, 32u);
  EXPECT_EQ(c[0] | c[1] | c[2] | c[3], 0);

  EXPECT_EQ(std::string(a, 20), std::string("first piece, twenty", 20));
  EXPECT_EQ(std::string(b, 20), std::string("second piece, twenty", 20));
  EXPECT_EQ(std::string(big, 100), std::string(100, 'z'));
  qm::heap_chain_release(chain);  // every block goes (the leak checker watches)
  EXPECT_EQ(chain.next, nullptr);
  EXPECT_EQ(chain.memory, nullptr);
}

// ---- Tree -------------------------------------------------------------------------------

class TermTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qm::heap_init(nodes_, 64 * sizeof(qm::TermNode));
    qm::heap_init(keys_, 64);
    qm::heap_init(texts_, 64);
    qm::term_tree_init(tree_, nodes_, keys_, texts_);
  }
  void TearDown() override {
    qm::term_tree_reset(tree_);
    qm::heap_chain_release(nodes_);
    qm::heap_chain_release(keys_);
    qm::heap_chain_release(texts_);
  }
  std::vector<int32_t> values(const char* key) {
    std::vector<int32_t> out;
    const qm::TermNode* n = qm::term_tree_find(tree_, key);
    if (!n) return out;
    for (uint32_t i = 0; i < n->count; ++i)
      out.push_back(qm::le::get32s(n->values.memory + 4 * i));
    return out;
  }
  std::string dump() {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* f = open_memstream(&text, &size);
    qm::term_tree_dump(tree_, f);
    std::fclose(f);
    std::string s(text, size);
    std::free(text);
    return s;
  }
  static std::string le32(int32_t v) {
    std::string s;
    qm::le::append32(s, uint32_t(v));
    return s;
  }
  qm::HeapBlock nodes_, keys_, texts_;
  qm::TermTree tree_;
};

TEST_F(TermTreeTest, DuplicateRulesAndCaseBlindKeys) {
  EXPECT_EQ(qm::term_tree_find(tree_, "word"), nullptr);  // empty root
  const char one = 1;
  EXPECT_EQ(qm::term_tree_insert(tree_, "Word", &one), 1u);
  EXPECT_EQ(qm::term_tree_insert(tree_, "WORD", &one), 0u);  // same key, set mode
  EXPECT_EQ(qm::term_tree_insert(tree_, "other", nullptr), 1u);
  EXPECT_EQ(qm::term_tree_find(tree_, "OTHER")->count, 0u);
  EXPECT_STREQ(qm::term_tree_find(tree_, "word")->key, "Word");

  qm::term_tree_reset(tree_);
  EXPECT_EQ(qm::term_tree_find(tree_, "word"), nullptr);
  tree_.item_size = 4;
  const std::string v7 = le32(7), v9 = le32(-9);
  EXPECT_EQ(qm::term_tree_insert(tree_, "Word", v7.data()), 1u);
  EXPECT_EQ(qm::term_tree_insert(tree_, "wORD", v9.data()), 2u);
  EXPECT_EQ(qm::term_tree_insert(tree_, "word", nullptr), 1u);  // adds nothing
  EXPECT_EQ(values("WORD"), (std::vector<int32_t>{7, -9}));
  // A value list grows past its first 20 values.
  for (int i = 0; i < 45; ++i) {
    std::string v = le32(i);
    qm::term_tree_insert(tree_, "many", v.data());
  }
  std::vector<int32_t> many = values("many");
  ASSERT_EQ(many.size(), 45u);
  for (int i = 0; i < 45; ++i) EXPECT_EQ(many[i], i);
}

TEST_F(TermTreeTest, DumpPrintsKeysInOrderAndReleasesValues) {
  tree_.item_size = 4;
  for (auto [key, v] : std::vector<std::pair<const char*, int>>{
           {"beta", 2}, {"Alpha", 1}, {"gamma", -3}, {"BETA", 20}}) {
    std::string value = le32(v);
    qm::term_tree_insert(tree_, key, value.data());
  }
  EXPECT_EQ(dump(), "\nAlpha 1\nbeta 2 20\ngamma -3");
  EXPECT_EQ(qm::term_tree_find(tree_, "beta")->count, 0u);
  EXPECT_EQ(qm::term_tree_find(tree_, "beta")->values.memory, nullptr);
}

TEST_F(TermTreeTest, CopiesOutliveBlockChangesAndLongTextsFit) {
  char* k = qm::term_tree_copy_key(tree_, "key");
  char* t = qm::term_tree_copy_text(tree_, "text");
  std::string long_text(500, 'q');  // larger than a block of the chain
  char* l = qm::term_tree_copy_text(tree_, long_text);
  for (int i = 0; i < 200; ++i) qm::term_tree_copy_key(tree_, "filler-" + std::to_string(i));
  EXPECT_STREQ(k, "key");
  EXPECT_STREQ(t, "text");
  EXPECT_EQ(std::string(l), long_text);
}

// Checks the red-black rules and the key order; gives the black height.
int check_node(const qm::TermNode* n, const char* low, const char* high) {
  if (!n) return 1;
  if (low) {
    EXPECT_GT(qm::string_icmp(n->key, low), 0);
  }
  if (high) {
    EXPECT_LT(qm::string_icmp(n->key, high), 0);
  }
  if (n->colour == qm::kTermRed) {
    EXPECT_FALSE(n->left && n->left->colour == qm::kTermRed) << n->key;
    EXPECT_FALSE(n->right && n->right->colour == qm::kTermRed) << n->key;
  }
  int l = check_node(n->left, low, n->key);
  int r = check_node(n->right, n->key, high);
  EXPECT_EQ(l, r) << "black height under " << n->key;
  return l + (n->colour == qm::kTermBlack ? 1 : 0);
}

struct CaseBlindLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return qm::string_icmp(a, b) < 0;
  }
};

TEST_F(TermTreeTest, RandomInsertsMatchMultimap) {
  const char* pieces[] = {"a", "A", "b", "B", "z", "0", "-", "\xA4\x40" /* 一 */,
                          "\xA4\x61" /* 中 */};
  for (uint32_t item_size : {1u, 4u}) {
    SCOPED_TRACE(item_size);
    qm::term_tree_reset(tree_);
    tree_.item_size = item_size;
    std::mt19937 random(20240611 + item_size);
    std::multimap<std::string, int32_t, CaseBlindLess> oracle;
    for (int i = 0; i < 4000; ++i) {
      std::string key;
      int length = 1 + int(random() % 5);
      for (int j = 0; j < length; ++j) key += pieces[random() % std::size(pieces)];
      int32_t value = int32_t(random() % 2001) - 1000;
      std::string bytes = le32(value);

      uint32_t got = qm::term_tree_insert(tree_, key, bytes.data());
      size_t before = oracle.count(key);
      if (item_size == 1) {
        ASSERT_EQ(got, before == 0 ? 1u : 0u) << key;
        if (before == 0) oracle.emplace(key, value & 0xFF);
      } else {
        oracle.emplace(key, value);
        ASSERT_EQ(got, before + 1) << key;
      }
      if (i % 250 == 0) {
        ASSERT_EQ(tree_.root->colour, qm::kTermBlack);
        check_node(tree_.root, nullptr, nullptr);
      }
    }
    check_node(tree_.root, nullptr, nullptr);

    // Every key holds the oracle's values in insertion order under its first spelling,
    // and the dump walks the keys in the oracle's order.
    std::string expected_dump;
    for (auto it = oracle.begin(); it != oracle.end();) {
      auto range = oracle.equal_range(it->first);
      const qm::TermNode* n = qm::term_tree_find(tree_, it->first);
      EXPECT_NE(n, nullptr) << it->first;
      if (!n) return;
      EXPECT_STREQ(n->key, it->first.c_str());
      std::vector<int32_t> want, have;
      expected_dump += "\n" + it->first;
      for (auto v = range.first; v != range.second; ++v) {
        want.push_back(v->second);
        expected_dump += " " + std::to_string(v->second);
      }
      for (uint32_t i = 0; i < n->count; ++i) {
        unsigned char b[4] = {0, 0, 0, 0};
        std::memcpy(b, n->values.memory + size_t(i) * item_size, item_size);
        have.push_back(qm::le::get32s(b));
      }
      EXPECT_EQ(have, want) << it->first;
      it = range.second;
    }
    EXPECT_EQ(qm::term_tree_find(tree_, "absent key"), nullptr);
    EXPECT_EQ(dump(), expected_dump);
  }
}

// ---- Hit ordering -----------------------------------------------------------------------

TEST(HitOrder, ParagraphFirstThenScoreDescending) {
  struct Hit {
    uint16_t paragraph, score;
  };
  const std::vector<Hit> hits = {{0, 90}, {3, 10}, {0, 5}, {7, 50}, {1, 50}, {2, 99}};
  std::string bytes;
  for (const Hit& h : hits) {
    std::string record(20, '\0');
    qm::le::put16(reinterpret_cast<unsigned char*>(&record[8]), h.paragraph);
    qm::le::put16(reinterpret_cast<unsigned char*>(&record[12]), h.score);
    bytes += record;
  }
  std::qsort(bytes.data(), hits.size(), 20, qm::hit_cmp_paragraph_score);
  std::vector<std::pair<int, int>> order;
  for (size_t i = 0; i < hits.size(); ++i) {
    const auto* r = reinterpret_cast<const unsigned char*>(bytes.data()) + 20 * i;
    order.emplace_back(qm::le::get16(r + 8) != 0, qm::le::get16(r + 12));
  }
  EXPECT_EQ(order, (std::vector<std::pair<int, int>>{
                       {1, 99}, {1, 50}, {1, 50}, {1, 10}, {0, 90}, {0, 5}}));
  uint16_t slot = 0;
  EXPECT_EQ(qm::u16_store(&slot, 0xBEEF), 0xBEEF);
  EXPECT_EQ(slot, 0xBEEF);
}

}  // namespace
