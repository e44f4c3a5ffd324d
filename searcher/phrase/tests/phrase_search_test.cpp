// Phrase search over character-pair lists: the pairs of a word, the join of pair lists,
// generated queries against a plain scan of the fixture text (exact and fault-tolerant),
// homophones from fixture tables, and phrase databases opened without clist.db.
#include "searcher/phrase/phrase_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "langdata/homophone.h"
#include "platform/fatal.h"
#include "searcher/phrase/tests/phrase_test_support.h"
#include "searcher/tests/search_fixture.h"

namespace qm {
namespace {

TEST(PhraseWordPairs, CoverTheWordFromTheStart) {
  const std::vector<std::pair<size_t, std::vector<PhrasePair>>> cases = {
      {0, {}},
      {1, {}},
      {2, {{0, 0}}},
      {3, {{0, 0}, {1, 2}}},
      {4, {{0, 0}, {2, 4}}},
      {5, {{0, 0}, {2, 4}, {3, 2}}},
      {6, {{0, 0}, {2, 4}, {4, 4}}},
      {10, {{0, 0}, {2, 4}, {4, 4}, {6, 4}, {8, 4}}},
  };
  for (const auto& [n, pairs] : cases) EXPECT_EQ(phrase_word_pairs(n), pairs) << n;
}

PostingEntry P(uint32_t d, uint16_t p, uint16_t pos) { return {d, p, pos}; }

TEST(PhrasePairsJoin, FindsPairsAtTheirSteps) {
  struct Case {
    const char* name;
    std::vector<PostingList> lists;
    std::vector<uint16_t> steps;
    PostingList want;
  };
  const std::vector<Case> cases = {
      {"two pairs 4 apart", {{P(0, 0, 0), P(1, 0, 6)}, {P(0, 0, 4), P(1, 0, 8)}}, {0, 4}, {P(0, 0, 0)}},
      {"other paragraph", {{P(0, 0, 0)}, {P(0, 1, 4)}}, {0, 4}, {}},
      {"odd word, last step 2", {{P(2, 0, 10)}, {P(2, 0, 14)}, {P(2, 0, 16)}}, {0, 4, 2}, {P(2, 0, 10)}},
      {"odd word, wrong last step", {{P(2, 0, 10)}, {P(2, 0, 14)}, {P(2, 0, 18)}}, {0, 4, 2}, {}},
      // A word ABBB in the text ABBB: the pair BB stands at 2 and 4; the one at 2 must not
      // make the join pass over A B at 0.
      {"repeated pair", {{P(0, 0, 0)}, {P(0, 0, 2), P(0, 0, 4)}}, {0, 4}, {P(0, 0, 0)}},
      {"three occurrences", {{P(0, 0, 0), P(0, 0, 8), P(0, 2, 0)}, {P(0, 0, 4), P(0, 0, 12), P(0, 2, 4)}},
       {0, 4}, {P(0, 0, 0), P(0, 0, 8), P(0, 2, 0)}},
      {"an empty list", {{P(0, 0, 0)}, {}}, {0, 4}, {}},
      {"one list", {{P(0, 0, 0), P(3, 1, 2)}}, {0}, {P(0, 0, 0), P(3, 1, 2)}},
  };
  for (const Case& c : cases) {
    PostingList got = pairs_join(c.lists, c.steps);
    ASSERT_EQ(got.size(), c.want.size()) << c.name;
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(posting_compare(got[i], c.want[i]), 0) << c.name << " " << i;
  }
}

// ---- Generated queries against a scan of the text ---------------------------------

bool is_pair(const std::string& s, size_t i) {
  return i + 1 < s.size() && static_cast<unsigned char>(s[i]) >= 0xA1 && static_cast<unsigned char>(s[i + 1]) >= 0x40 &&
         static_cast<unsigned char>(s[i + 1]) <= 0xFE;
}

// Occurrences of the word in a paragraph as the pair index sees them: at a character
// start p, for every pair of the word, its first character stands at p + 2 x first and is
// directly followed by a Big5 character, which must be the pair's second character unless
// the search is fault-tolerant.
std::vector<size_t> scan(const std::string& text, const std::string& word, bool tolerant) {
  const size_t n = word.size() / 2;
  const std::vector<PhrasePair> pairs = phrase_word_pairs(n);
  std::vector<size_t> found;
  if (pairs.empty()) return found;
  for (size_t p = 0; p < text.size(); p += is_pair(text, p) ? 2 : 1) {
    bool ok = true;
    for (const PhrasePair& pair : pairs) {
      const size_t q = p + 2 * pair.first;
      if (!is_pair(text, q) || !is_pair(text, q + 2) || text.compare(q, 2, word, 2 * pair.first, 2) != 0 ||
          (!tolerant && text.compare(q + 2, 2, word, 2 * pair.first + 2, 2) != 0)) {
        ok = false;
        break;
      }
    }
    if (ok) found.push_back(p);
  }
  return found;
}

struct ScanHit {
  uint16_t paragraph = 0;
  uint16_t position = 0;
  int count = 0;
};

class PhraseOracle : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    docs_ = new std::vector<std::vector<std::string>>;
    std::mt19937 rng(20240612);
    auto below = [&](size_t n) { return size_t(rng() % n); };
    std::vector<IndexDocument> written;
    for (uint32_t d = 0; d < 80; ++d) {
      std::vector<std::string> paragraphs;
      for (size_t p = 1 + below(3); p > 0; --p) {
        std::string text;
        for (size_t t = 3 + below(14); t > 0; --t) {
          switch (below(6)) {
            case 0: text += " "; break;
            case 1: text += "ab"; break;
            default: text += test::big5(kChars[below(std::size(kChars))]);
          }
        }
        paragraphs.push_back(text);
      }
      written.push_back(test::make_document(d, paragraphs));
      docs_->push_back(paragraphs);
    }
    ASSERT_TRUE(test::write_database(dir_->path() + "phrase/", written, true));
  }
  static void TearDownTestSuite() {
    delete dir_;
    delete docs_;
  }

  // The expected record of every document with an occurrence (paragraph filter "2~" or none).
  static std::map<uint32_t, ScanHit> expected(const std::string& word, bool tolerant, bool from_second) {
    std::map<uint32_t, ScanHit> out;
    for (uint32_t d = 0; d < docs_->size(); ++d) {
      const auto& paragraphs = (*docs_)[d];
      for (size_t p = from_second ? 1 : 0; p < paragraphs.size(); ++p) {
        for (size_t at : scan(paragraphs[p], word, tolerant)) {
          ScanHit& h = out[d];
          if (h.count++ == 0) {
            h.paragraph = uint16_t(p);
            h.position = uint16_t(at);
          }
        }
      }
    }
    return out;
  }

  // Few characters, so that words repeat and pairs recur inside words.
  static constexpr uint16_t kChars[] = {0xA440, 0xA45C, 0xA4A4, 0xA4E5, 0xB35C};
  static test::TempDir* dir_;
  static std::vector<std::vector<std::string>>* docs_;
};
test::TempDir* PhraseOracle::dir_ = nullptr;
std::vector<std::vector<std::string>>* PhraseOracle::docs_ = nullptr;

TEST_F(PhraseOracle, GeneratedWordsFindWhatTheTextHolds) {
  std::mt19937 rng(99);
  auto below = [&](size_t n) { return size_t(rng() % n); };
  size_t with_hits = 0;
  for (int q = 0; q < 300; ++q) {
    // A word: mostly cut from the text, sometimes made up; 1 to 7 characters.
    std::string word;
    const auto& paragraphs = (*docs_)[below(docs_->size())];
    const std::string& text = paragraphs[below(paragraphs.size())];
    const size_t want = 1 + below(7);
    if (below(4) != 0) {
      std::vector<size_t> starts;
      for (size_t i = 0; i < text.size(); i += is_pair(text, i) ? 2 : 1)
        if (is_pair(text, i)) starts.push_back(i);
      size_t at = starts.empty() ? text.size() : starts[below(starts.size())];
      for (size_t c = 0; c < want && is_pair(text, at); ++c, at += 2) word += text.substr(at, 2);
    }
    if (word.empty())
      for (size_t c = 0; c < want; ++c) word += test::big5(kChars[below(std::size(kChars))]);

    SearchDatabase db;
    db.id = 9;
    db.work_dir = dir_->path() + "phrase/";
    db.index_type = below(2) == 0 ? 0 : 1;  // IndexType 0: the hook opens clist.db itself
    db.save_file = true;
    SearchOptions options;
    options.flags.fault_tolerant = below(3) == 0;
    const bool from_second = below(5) == 0;
    if (from_second) options.paragraphs = "2~";

    HitList hits = test::phrase_run_query(word, {db}, options, dir_->path());
    const std::map<uint32_t, ScanHit> want_hits = expected(word, options.flags.fault_tolerant, from_second);
    std::string label = "query " + std::to_string(q) + " chars " + std::to_string(word.size() / 2) +
                        (options.flags.fault_tolerant ? " tolerant" : " exact") + " k=" + options.paragraphs;
    ASSERT_EQ(hits.size(), want_hits.size()) << label;
    size_t i = 0;
    for (const auto& [document, h] : want_hits) {
      const HitRecord& got = hits[i++];
      EXPECT_EQ(got.database, 9) << label;
      ASSERT_EQ(got.document, document) << label;
      EXPECT_EQ(got.paragraph, h.paragraph) << label << " doc " << document;
      EXPECT_EQ(got.position, h.position) << label << " doc " << document;
      EXPECT_EQ(got.score, h.count) << label << " doc " << document;
      EXPECT_EQ(got.hit_count, h.count) << label << " doc " << document;
    }
    with_hits += want_hits.empty() ? 0 : 1;
  }
  EXPECT_GT(with_hits, 100u);
}

// ---- Fixed cases ------------------------------------------------------------------

const std::string A = "\xA4\x40";  // 一
const std::string B = "\xA4\x41";  // 乙
const std::string C = "\xA4\x42";  // 丁
const std::string D = "\xA4\x43";  // 七
const std::string E = "\xA4\x5C";  // 功

class PhraseDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<std::vector<std::string>> docs = {
        {A + B + " " + A + B + "x" + A + B},  // 0: AB three times
        {A + C + D},                          // 1: AC, homophone of AB when B ~ C
        {E + B},                              // 2: EB
        {B + A + C, A + D},                   // 3
    };
    std::vector<IndexDocument> documents;
    for (size_t i = 0; i < docs.size(); ++i) documents.push_back(test::make_document(i, docs[i]));
    ASSERT_TRUE(test::write_database(dir_.path() + "phrase/", documents, true));
    ASSERT_TRUE(test::write_database(dir_.path() + "chars/", documents, false));
    phrase_.id = 2;
    phrase_.work_dir = dir_.path() + "phrase/";
    phrase_.index_type = 1;
    phrase_.save_file = true;
    chars_.id = 1;
    chars_.work_dir = dir_.path() + "chars/";
    // Fixture homophones: B and C sound alike; A and E sound alike; D has none.
    program_ = dir_.sub("program");
    test::write_homophone_tables(program_, {{0xA441, 0xA442}, {0xA440, 0xA45C}},
                                 {{0xA441, {0}}, {0xA442, {0}}, {0xA440, {1}}, {0xA45C, {1}}});
  }
  void TearDown() override { fatal_reset(); }

  HitList run(const std::string& keywords, const SearchDatabase& db, QueryFlags flags = {}) {
    SearchOptions options;
    options.flags = flags;
    return test::phrase_run_query(keywords, {db}, options, program_);
  }

  test::TempDir dir_;
  SearchDatabase phrase_, chars_;
  std::string program_;
};

TEST_F(PhraseDatabase, ScoresOccurrencesAndIgnoresSingleCharacters) {
  HitList hits = run(A + B, phrase_);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].document, 0u);
  EXPECT_EQ(hits[0].score, 3);
  EXPECT_EQ(hits[0].hit_count, 3);
  EXPECT_EQ(hits[0].position, 0);

  EXPECT_TRUE(run(A, phrase_).empty());       // one character: no pair to look up
  EXPECT_EQ(run(A, chars_).size(), 3u);       // the character database finds it
  EXPECT_EQ(test::hit_documents(run(B + A + C, phrase_)), (std::vector<uint32_t>{3}));
  EXPECT_TRUE(run(D + A, phrase_).empty());
}

TEST_F(PhraseDatabase, FaultToleranceLeavesTheSecondCharacterOpen) {
  QueryFlags tolerant;
  tolerant.fault_tolerant = true;
  // A followed by any character: AB (doc 0), AC (docs 1, 3).
  EXPECT_EQ(test::hit_documents(run(A + E, phrase_, tolerant)), (std::vector<uint32_t>{0, 1, 3}));
  EXPECT_TRUE(run(A + E, phrase_).empty());
  // Three characters: A? at p and C? at p + 2 (doc 1: A C D; doc 3's B A C lacks a
  // character after C).
  EXPECT_EQ(test::hit_documents(run(A + C + E, phrase_, tolerant)), (std::vector<uint32_t>{1}));

  // With homophones too: every alternative of B would give the same lists again; each
  // occurrence still counts once.
  tolerant.homophone = true;
  HitList hits = run(A + B, phrase_, tolerant);
  ASSERT_EQ(test::hit_documents(hits), (std::vector<uint32_t>{0, 1, 2, 3}));
  EXPECT_EQ(hits[0].score, 3);
  EXPECT_EQ(hits[3].score, 2);  // B A C and A D
}

TEST_F(PhraseDatabase, HomophonesFindTheWordsPronouncedAlike) {
  QueryFlags homophone;
  homophone.homophone = true;
  for (const SearchDatabase* db : {&phrase_, &chars_}) {
    const std::string which = db == &phrase_ ? "phrase" : "chars";
    // AB: with homophones also AC (docs 1, 3) and EB (doc 2).
    EXPECT_EQ(test::hit_documents(run(A + B, *db)), (std::vector<uint32_t>{0})) << which;
    EXPECT_EQ(test::hit_documents(run(A + B, *db, homophone)), (std::vector<uint32_t>{0, 1, 2, 3})) << which;
    // D has no homophones: from D on every character of the query stands for itself, in
    // the next word too: E B finds only E B itself.
    EXPECT_TRUE(run(D + B, *db, homophone).empty()) << which;
    EXPECT_EQ(test::hit_documents(run(D + A + "+" + E + B, *db, homophone)), (std::vector<uint32_t>{2})) << which;
    EXPECT_EQ(test::hit_documents(run(E + B, *db, homophone)), (std::vector<uint32_t>{0, 1, 2, 3})) << which;
  }
}

TEST_F(PhraseDatabase, IndexTypeZeroStillReadsThePairList) {
  SearchDatabase db = phrase_;
  db.index_type = 0;
  EXPECT_EQ(test::hit_documents(run(A + B, db)), (std::vector<uint32_t>{0}));

  std::filesystem::remove(db.work_dir + "clist.db");
  try {
    run(A + B, db);
    ADD_FAILURE() << "a phrase database without clist.db was searched";
  } catch (const FatalError& e) {
    EXPECT_STREQ(e.what(), "Fail to read index file !");
  }
}

TEST_F(PhraseDatabase, MissingHomophoneTablesEndTheRun) {
  std::filesystem::remove(program_ + "big5.ref");
  QueryFlags homophone;
  homophone.homophone = true;
  EXPECT_EQ(run(A + B, phrase_).size(), 1u);  // without h the tables are not read
  // The search returns; the message waits in the tables for the program's entry.
  run(A + B, phrase_, homophone);
  // "同音索引檔讀入失敗!!"
  EXPECT_EQ(homophone_tables().error(), "\xA6\x50\xAD\xB5\xAF\xC1\xA4\xDE\xC0\xC9\xC5\xAA\xA4\x4A\xA5\xA2\xB1\xD1!!");
}

}  // namespace
}  // namespace qm
