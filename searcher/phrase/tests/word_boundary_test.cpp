// The word-boundary check (c "9") through the search core's hooks: a hit whose keyword
// cuts a dictionary word of the fixture phrase files apart is dropped, one that holds
// whole words or lies inside one stays; without phrase files nothing is dropped.
#include <gtest/gtest.h>

#include <algorithm>

#include "langdata/dictionary.h"
#include "searcher/phrase/tests/phrase_test_support.h"
#include "searcher/tests/search_fixture.h"

namespace qm {
namespace {

const std::string A = "\xA4\x40";  // 一
const std::string B = "\xA4\x41";  // 乙
const std::string C = "\xA4\x42";  // 丁
const std::string D = "\xA4\x43";  // 七
const std::string E = "\xA4\x44";  // 乃
const std::string F = "\xA4\x45";  // 九
const std::string G = "\xA4\x46";  // 了

struct Case {
  const char* name;
  std::string paragraph;
  std::string query;
  int score_with_check;  // 0: the document is dropped
};

// Dictionary: C D (2), E F G (3).
const std::vector<Case> kCases = {
    {"ends inside a word", A + B + C + D, B + C, 0},
    {"starts inside a word", C + D + A, D + A, 0},
    {"no word near", A + B + C, B + C, 1},
    {"is the word", A + C + D, C + D, 1},
    {"holds the whole word", B + C + D + A, B + C + D, 1},
    {"at the start of a longer word", A + E + F + G + A, E + F, 1},
    {"inside a longer word", A + E + F + G + A, F + G, 1},
    {"runs out of a longer word", A + E + F + G + A, G + A, 0},
    {"word split by a line end", A + B + C + "\r\n" + D, B + C, 0},
    {"one cutting, one clean", A + B + C + D + " " + B + C, B + C, 1},
};

class PhraseWordBoundary : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<IndexDocument> documents;
    for (size_t i = 0; i < kCases.size(); ++i) documents.push_back(test::make_document(i, {kCases[i].paragraph}));
    db_.id = 5;
    db_.work_dir = dir_.path() + "db/";
    ASSERT_TRUE(test::write_database(db_.work_dir, documents));
    program_ = dir_.sub("program");
    test::write_phrase_file(program_, 2, {C + D});
    test::write_phrase_file(program_, 3, {E + F + G});
  }

  // The score of document `doc` for the query (0 when it is not found).
  int score(const std::string& query, size_t doc, bool check, const std::string& program) {
    SearchOptions options;
    options.flags.word_boundary = check;
    HitList hits = test::phrase_run_query(query, {db_}, options, program);
    auto it = std::find_if(hits.begin(), hits.end(), [&](const HitRecord& h) { return h.document == doc; });
    return it == hits.end() ? 0 : it->score;
  }

  test::TempDir dir_;
  SearchDatabase db_;
  std::string program_;
};

TEST_F(PhraseWordBoundary, DropsHitsThatCutADictionaryWord) {
  for (size_t i = 0; i < kCases.size(); ++i) {
    const Case& c = kCases[i];
    const int plain = score(c.query, i, false, program_);
    EXPECT_GE(plain, 1) << c.name << ": the fixture must hold the query";
    EXPECT_EQ(score(c.query, i, true, program_), c.score_with_check) << c.name;
    EXPECT_EQ(phrase_dictionary().list_size(2), 0u) << "phrase lists freed after the search";
  }
}

TEST_F(PhraseWordBoundary, WithoutPhraseFilesNothingIsDropped) {
  const std::string empty_program = dir_.sub("empty");
  for (size_t i = 0; i < kCases.size(); ++i)
    EXPECT_EQ(score(kCases[i].query, i, true, empty_program), score(kCases[i].query, i, false, empty_program))
        << kCases[i].name;
}

TEST_F(PhraseWordBoundary, FaultToleranceSkipsTheCheck) {
  SearchOptions options;
  options.flags.word_boundary = true;
  options.flags.fault_tolerant = true;
  HitList hits = test::phrase_run_query(B + C, {db_}, options, program_);
  EXPECT_NE(std::find_if(hits.begin(), hits.end(), [](const HitRecord& h) { return h.document == 0; }), hits.end());
}

}  // namespace
}  // namespace qm
