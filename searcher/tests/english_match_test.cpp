// English word matching: signature similarity, exact and fuzzy word lookup (with and
// without the prefix table) and phrases under the Precision setting.
#include "searcher/english_match.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "searcher/tests/search_fixture.h"

namespace qm {
namespace {

TEST(EnglishMatch, Similarity) {
  EXPECT_EQ(bits_similarity(0, 0), 0);
  EXPECT_EQ(bits_similarity(0b1011, 0b0011), 66);
  EXPECT_EQ(word_similarity("ORANGE", "orange"), 150);
  // A digit that stands for a look-alike letter: letters 4 of 5 alike, transitions equal.
  EXPECT_EQ(word_similarity("CO0L", "COOL"), 80 + 40);
  // Same letters, different lengths: the letter score becomes the length ratio.
  EXPECT_EQ(word_similarity("AB", "ABAB"),
            50 * bits_similarity(word_signature("AB").transitions & kSignatureTransitionMask,
                                 word_signature("ABAB").transitions & kSignatureTransitionMask) / 100 + 25);
  EXPECT_LT(word_similarity("ORANGE", "LIME"), 70);
}

TEST(EnglishMatch, PhraseWindow) {
  const std::pair<int, int> cases[] = {{100, 1}, {50, 26}, {1, 51}, {0, 0}, {-1, -51}, {-100, -1}, {-3, -50}};
  for (auto [precision, window] : cases) EXPECT_EQ(phrase_window(precision), window) << precision;
}

class EnglishDatabase : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    const std::vector<std::vector<std::string>> docs = {
        {"the quick brown fox", "brown dog"},  // 0
        {"Quick brown"},                       // 1
        {"brown quick"},                       // 2
        {"quick red brown"},                   // 3
        {"co0l drink"},                        // 4
        {"cool drink"},                        // 5
        {"abcdefghijklmnopqrstuvwxyz1234"},    // 6: stored as its first 23 bytes
        {"quicks"},                            // 7
    };
    std::vector<IndexDocument> documents;
    for (size_t i = 0; i < docs.size(); ++i) documents.push_back(test::make_document(i, docs[i]));
    db_ = dir_->path() + "db/";
    ASSERT_TRUE(test::write_database(db_, documents));
    // The same database without its prefix table: the whole esign.db is scanned.
    bare_ = dir_->path() + "bare/";
    std::filesystem::copy(db_, bare_);
    std::filesystem::remove(bare_ + "rehash.db");
  }
  static void TearDownTestSuite() { delete dir_; }

  static std::set<uint32_t> documents(const std::string& db, const std::string& text, bool fuzzy,
                                      int precision = 100) {
    IndexFileSet set;
    EXPECT_TRUE(set.open(db, 0, false));
    std::set<uint32_t> out;
    for (const PostingEntry& e : english_phrase_postings(set, text, fuzzy, 70, precision)) out.insert(e.document);
    return out;
  }

  static test::TempDir* dir_;
  static std::string db_, bare_;
};
test::TempDir* EnglishDatabase::dir_ = nullptr;
std::string EnglishDatabase::db_, EnglishDatabase::bare_;

TEST_F(EnglishDatabase, Words) {
  struct Case {
    std::string text;
    bool fuzzy;
    std::set<uint32_t> docs;
  };
  const Case cases[] = {
      {"QUICK", false, {0, 1, 2, 3}},
      {"quick", false, {0, 1, 2, 3}},  // letter case does not matter
      {"QUICKX", false, {}},
      {"COOL", false, {5}},
      {"COOL", true, {4, 5}},  // the digit 0 stands for O
      {"CO0L", true, {4, 5}},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", false, {6}},
      {"ABCDEFGHIJKLMNOPQRSTUVWQQQ", false, {6}},  // the first 23 bytes decide
      {"COOL DRINK", true, {4, 5}},                // fuzzy lists merged before the phrase walk
      {"COOL DRINK", false, {5}},
  };
  for (const std::string& db : {db_, bare_})
    for (const Case& c : cases) EXPECT_EQ(documents(db, c.text, c.fuzzy), c.docs) << c.text << " in " << db;
}

TEST_F(EnglishDatabase, PhrasePrecision) {
  struct Case {
    int precision;
    std::set<uint32_t> docs;
  };
  const Case cases[] = {
      {100, {0, 1}},      // the second word right after the first
      {-100, {0, 1, 2}},  // next to each other, either order
      {50, {0, 1, 3}},    // within 26 words after
      {0, {0, 1, 2, 3}},  // anywhere in one paragraph
  };
  for (const Case& c : cases) EXPECT_EQ(documents(db_, "QUICK BROWN", false, c.precision), c.docs) << c.precision;
  // Both words must stand in one paragraph.
  EXPECT_EQ(documents(db_, "FOX DOG", false, 0), std::set<uint32_t>{});
}

TEST_F(EnglishDatabase, FuzzyPostingsAreOrdered) {
  IndexFileSet set;
  ASSERT_TRUE(set.open(db_, 0, false));
  PostingList l = english_word_postings(set, "COOL", true, 70);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_TRUE(std::is_sorted(l.begin(), l.end(),
                             [](const PostingEntry& a, const PostingEntry& b) { return posting_compare(a, b) < 0; }));
}

}  // namespace
}  // namespace qm
