// The joins that read posting lists in place against the scan of the texts
// (reference_join.h) and against the joins of decoded vectors: random lists of every
// shape, lists of random texts, and the kind of query set the
// search benchmark runs (Chinese words from frequent to rare, English words, phrases,
// boolean queries) over a generated corpus, with and without fault tolerance, paragraph
// filter and homophone alternatives. Hits, scores, counts and order must be the same.
#include "searcher/tests/reference_join.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "searcher/query_parser.h"
#include "searcher/tests/search_fixture.h"

namespace qm {
namespace {

std::string show(const PostingList& l) {
  std::string s;
  for (const auto& e : l)
    s += "(" + std::to_string(e.document) + "," + std::to_string(e.paragraph) + "," + std::to_string(e.position) + ")";
  return s;
}

std::string show(const HitList& l) {
  std::string s;
  for (const auto& h : l)
    s += "(" + std::to_string(h.database) + "," + std::to_string(h.document) + "," + std::to_string(h.paragraph) +
         "," + std::to_string(h.position) + "," + std::to_string(h.score) + "," + std::to_string(h.hit_count) + ")";
  return s;
}

// Lists of few documents and paragraphs and positions of any parity, so that entries
// collide across lists, characters overlap and the same entry stands in several lists.
std::vector<PostingList> random_lists(std::mt19937& rng, size_t n) {
  std::vector<PostingList> lists(n);
  const uint32_t documents = 1 + rng() % 4;
  const uint32_t positions = 4 + rng() % 24;
  for (PostingList& l : lists) {
    const size_t size = rng() % 3 == 0 ? rng() % 4 : rng() % 40;
    for (size_t k = 0; k < size; ++k) {
      uint16_t position = uint16_t(rng() % positions);
      if (rng() % 50 == 0) position = uint16_t(65535 - rng() % 12);
      l.push_back({uint32_t(rng() % documents), uint16_t(rng() % 3), position});
    }
    std::sort(l.begin(), l.end(), [](const PostingEntry& a, const PostingEntry& b) { return posting_compare(a, b) < 0; });
    l.erase(std::unique(l.begin(), l.end(),
                        [](const PostingEntry& a, const PostingEntry& b) { return posting_compare(a, b) == 0; }),
            l.end());
  }
  // Now and then one list repeats another (a word with the same character twice).
  if (n >= 2 && rng() % 4 == 0) lists[rng() % n] = lists[rng() % n];
  return lists;
}

// Lists of any shape, even ones no text gives: the join of lists read in place and the
// join of decoded vectors (restricted beforehand) give the same hits.
TEST(ReferenceJoin, RandomListsJoinAlikeInPlaceAndDecoded) {
  std::mt19937 rng(16);
  size_t hits = 0;
  for (int round = 0; round < 3000; ++round) {
    const size_t n = 2 + rng() % 6;
    const std::vector<PostingList> lists = random_lists(rng, n);
    for (bool tolerant : {false, true}) {
      std::vector<PostingList> restricted = lists;
      if (!tolerant) postings_restrict_to_shortest(restricted);
      const PostingList decoded = postings_join_characters(restricted, tolerant);
      std::vector<PostingSpan> spans;
      for (const PostingList& l : lists) spans.push_back(PostingSpan::of(l));
      PostingList got;
      postings_join_spans(spans, tolerant, got);
      ASSERT_EQ(show(got), show(decoded)) << "round " << round << (tolerant ? " tolerant" : " exact");
      hits += decoded.size();
    }
  }
  EXPECT_GT(hits, 1000u);
}

// Lists of random texts: both forms of the join give the hits the scan of the texts gives.
TEST(ReferenceJoin, RandomTextsJoinAsTheScanSays) {
  std::mt19937 rng(61);
  size_t hits[2] = {0, 0};
  for (int round = 0; round < 1500; ++round) {
    const size_t n = 2 + rng() % 9;
    const std::vector<PostingList> lists = reference::random_text_lists(rng, n, round % 2 == 0);
    for (bool tolerant : {false, true}) {
      const PostingList expected = reference::postings_join_characters(lists, tolerant);
      std::vector<PostingSpan> spans;
      for (const PostingList& l : lists) spans.push_back(PostingSpan::of(l));
      PostingList got;
      postings_join_spans(spans, tolerant, got);
      ASSERT_EQ(show(got), show(expected)) << "round " << round << (tolerant ? " tolerant" : " exact");
      std::vector<PostingList> restricted = lists;
      if (!tolerant) postings_restrict_to_shortest(restricted);
      ASSERT_EQ(show(postings_join_characters(restricted, tolerant)), show(expected)) << "round " << round;
      hits[tolerant] += expected.size();
    }
  }
  EXPECT_GT(hits[0], 1000u);
  EXPECT_GT(hits[1], 1000u);
}

// ---- The benchmark's kind of queries over a generated corpus ----------------------

// Characters drawn with falling weights, so that some have long lists and some short ones.
constexpr uint16_t kChars[] = {0xA440, 0xA448, 0xA451, 0xA45C, 0xA461, 0xA4A4, 0xA4E5, 0xA5A4, 0xA65C, 0xA77E,
                               0xB35C, 0xC940, 0xA6B3, 0xA8EC, 0xAA6B, 0xA7DA, 0xA8CF, 0xAB48, 0xAD6E, 0xB0EA,
                               0xB7A7, 0xBB50, 0xC0C9, 0xC5E9, 0xF9FE};
const char* const kWords[] = {"the", "python", "socket", "file", "system", "module", "error", "list",
                              "value", "thread", "buffer", "zlib", "ascii", "parser", "queue"};

size_t zipf(std::mt19937& rng, size_t n) {
  // Index i with weight about 1 / (i + 1).
  double total = 0;
  for (size_t i = 0; i < n; ++i) total += 1.0 / double(i + 1);
  double x = std::uniform_real_distribution<double>(0, total)(rng);
  for (size_t i = 0; i < n; ++i) {
    x -= 1.0 / double(i + 1);
    if (x <= 0) return i;
  }
  return n - 1;
}

std::string paragraph(std::mt19937& rng) {
  std::string text;
  for (size_t t = 4 + rng() % 30; t > 0; --t) {
    switch (rng() % 5) {
      case 0:
      case 1:
        text += std::string(kWords[zipf(rng, std::size(kWords))]) + (rng() % 3 ? " " : "");
        break;
      case 2: text += rng() % 2 ? "x" : ", "; break;  // odd byte positions for what follows
      default:
        for (size_t c = 1 + rng() % 6; c > 0; --c) text += test::big5(kChars[zipf(rng, std::size(kChars))]);
    }
  }
  return text;
}

class ReferenceSearch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    texts_ = new std::vector<std::string>;
    std::mt19937 rng(2016);
    for (uint16_t id : {2, 5}) {
      std::vector<IndexDocument> documents;
      for (uint32_t i = 0; i < 160; ++i) {
        std::vector<std::string> paragraphs;
        for (size_t p = 1 + rng() % 6; p > 0; --p) paragraphs.push_back(paragraph(rng));
        texts_->insert(texts_->end(), paragraphs.begin(), paragraphs.end());
        documents.push_back(test::make_document(i, paragraphs));
      }
      SearchDatabase db;
      db.id = id;
      db.work_dir = dir_->path() + "db" + std::to_string(id) + "/";
      ASSERT_TRUE(test::write_database(db.work_dir, documents));
      databases_.push_back(db);
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    delete texts_;
    databases_.clear();
  }

  // The 40 queries: 20 Chinese words from the most to the fewest hits, 10 English words,
  // 5 phrases and 5 boolean queries.
  static std::vector<std::string> queries() {
    std::mt19937 rng(40);
    std::map<std::string, size_t> words;  // Chinese words of the text: their hits
    for (int k = 0; k < 200; ++k) {
      const std::string& t = (*texts_)[rng() % texts_->size()];
      std::string word;
      for (size_t i = 0; i + 1 < t.size(); ++i) {
        if (static_cast<unsigned char>(t[i]) < 0xA1) continue;
        const size_t at = i + 2 * (rng() % 4);
        const size_t length = 2 * (2 + rng() % 3);
        if (at + length <= t.size() && static_cast<unsigned char>(t[at]) >= 0xA1) word = t.substr(at, length);
        break;
      }
      if (!word.empty() && word.size() % 2 == 0) words[word] = 0;
    }
    for (auto& [word, hits] : words) {
      std::string e = word;
      if (query_parse(e)) hits = reference::search_expression(e, databases_, {}).size();
    }
    std::vector<std::pair<size_t, std::string>> ranked;
    for (auto& [word, hits] : words) ranked.push_back({hits, word});
    std::sort(ranked.rbegin(), ranked.rend());
    std::vector<std::string> out;
    for (size_t k = 0; k < 20 && !ranked.empty(); ++k) out.push_back(ranked[k * ranked.size() / 20].second);
    out.push_back(test::big5(kChars[0]));                                        // one frequent character
    for (size_t k = 0; k < 9; ++k) out.push_back(kWords[k * std::size(kWords) / 9]);
    for (const char* phrase : {"the python", "socket file", "module error", "list value", "zlib ascii"})
      out.push_back(phrase);
    out.push_back(out[0] + " & " + out[1]);
    out.push_back(out[2] + " * python");
    out.push_back("python & socket");
    out.push_back("(" + out[3] + " + " + out[15] + ") - the");
    out.push_back(out[0] + " ~ file");
    return out;
  }

  static test::TempDir* dir_;
  static std::vector<std::string>* texts_;
  static std::vector<SearchDatabase> databases_;
};
test::TempDir* ReferenceSearch::dir_ = nullptr;
std::vector<std::string>* ReferenceSearch::texts_ = nullptr;
std::vector<SearchDatabase> ReferenceSearch::databases_;

TEST_F(ReferenceSearch, BenchmarkQueriesGiveTheSameHits) {
  const std::vector<std::string> texts = queries();
  ASSERT_EQ(texts.size(), 40u);
  size_t with_hits = 0;
  // Modes 3 to 5 search a few documents at a time, as a boolean query over long lists is.
  for (int mode = 0; mode < 6; ++mode) {
    SearchOptions options;
    if (mode % 3 == 1) options.flags.fault_tolerant = true;
    if (mode % 3 == 2) options.paragraphs = "2~3,5";
    if (mode >= 3) options.run_postings = 40;
    for (const std::string& text : texts) {
      std::string expression = text;
      ASSERT_TRUE(query_parse(expression)) << text;
      const HitList expected = reference::search_expression(expression, databases_, options);
      const HitList got = search_expression(expression, databases_, options);
      ASSERT_EQ(show(got), show(expected)) << text << " mode " << mode;
      with_hits += expected.empty() ? 0 : 1;
    }
  }
  EXPECT_GT(with_hits, 160u);
}

// Boolean queries whose sides differ in size by much (the cheap side is searched first
// and keeps the other to its documents): "&", "*", "-" and "+" in chains and groups, a
// "-" that removes whole documents, English and Chinese sides mixed, every mode.
TEST_F(ReferenceSearch, BooleanQueriesWithUnevenSidesGiveTheSameHits) {
  const std::vector<std::string> q = queries();
  const std::string frequent = test::big5(kChars[0]), rare = q[19], middle = q[10];
  const std::vector<std::string> expressions = {
      frequent + " & " + rare,
      rare + " & " + frequent,
      "the & " + rare,
      "the * zlib",
      "zlib * the",
      frequent + " * queue",
      frequent + " - " + rare,
      rare + " - " + frequent,
      "the - python",
      "python - the",
      frequent + " & the & " + middle,
      "(the + " + rare + ") & queue",
      "queue & (the - " + frequent + ")",
      "(" + frequent + " & the) - (zlib + " + rare + ")",
      "the + zlib * " + frequent,
      "the python & socket file",
      frequent + " & " + frequent,
      "& the",
      "(the & " + middle + ") * (" + frequent + " - ascii)",
  };
  size_t with_hits = 0;
  for (int mode = 0; mode < 6; ++mode) {
    SearchOptions options;
    if (mode % 3 == 1) options.flags.fault_tolerant = true;
    if (mode % 3 == 2) options.paragraphs = "1,3~";
    if (mode >= 3) options.run_postings = 40;
    for (const std::string& text : expressions) {
      std::string expression = text;
      if (!query_parse(expression)) continue;
      const HitList expected = reference::search_expression(expression, databases_, options);
      const HitList got = search_expression(expression, databases_, options);
      ASSERT_EQ(show(got), show(expected)) << text << " mode " << mode;
      with_hits += expected.empty() ? 0 : 1;
    }
  }
  EXPECT_GT(with_hits, 60u);
}

TEST_F(ReferenceSearch, HomophoneAlternativesGiveTheSameHits) {
  const std::vector<std::string> texts = queries();
  std::mt19937 rng(3);
  for (size_t q = 0; q < 20; ++q) {
    std::string expression = texts[q];
    ASSERT_TRUE(query_parse(expression));
    const QueryTermTable table = term_table_build(expression);
    HomophoneSlots slots = homophone_slots_plain(table);
    // One or two more characters for some characters of the words (sometimes the same one
    // again), as a homophone table gives them: a character has the same alternatives
    // wherever it stands, and no two characters share one.
    std::set<uint16_t> taken;
    for (const CharacterSlots& word : slots)
      for (const auto& alternatives : word) taken.insert(alternatives.begin(), alternatives.end());
    std::map<uint16_t, std::vector<uint16_t>> more;
    for (CharacterSlots& word : slots) {
      for (auto& alternatives : word) {
        const uint16_t code = alternatives.front();
        if (!more.contains(code)) {
          std::vector<uint16_t>& extra = more[code];
          for (size_t k = rng() % 3; k > 0; --k) {
            const uint16_t c = kChars[zipf(rng, std::size(kChars))];
            if (c == code || taken.insert(c).second) extra.push_back(c);
          }
        }
        alternatives.insert(alternatives.end(), more[code].begin(), more[code].end());
      }
    }
    for (bool tolerant : {false, true}) {
      SearchOptions options;
      options.flags.fault_tolerant = tolerant;
      TermHits expected = reference::search_database(table, slots, databases_, options);
      TermHits got = search_database({table, slots, databases_, options, {}});
      ASSERT_EQ(got.size(), expected.size());
      // A word beside others may be searched only in the documents they leave reachable:
      // the term lists of such a query differ, its result does not.
      const bool alone = table.terms.size() == 1;
      for (size_t k = 0; alone && k < got.size(); ++k) ASSERT_EQ(show(got[k]), show(expected[k])) << texts[q];
      ASSERT_EQ(show(query_evaluate(table, std::move(got))), show(query_evaluate(table, std::move(expected))))
          << texts[q];
    }
  }
}

// Runs: the databases in order, each in several runs when the lists are long against the
// run size, and the queries that are searched whole refused.
TEST_F(ReferenceSearch, RunsOfDocumentsCoverEveryDatabaseInOrder) {
  SearchOptions options;
  options.run_postings = 40;
  const auto runs_of = [&](const std::string& text, const std::vector<SearchDatabase>& databases) {
    std::string expression = text;
    EXPECT_TRUE(query_parse(expression)) << text;
    const QueryTermTable table = term_table_build(expression);
    std::vector<uint16_t> seen;  // the database of each run's records
    const HomophoneSlots slots = homophone_slots_plain(table);
    const bool by_runs = search_database_runs({table, slots, databases, options, {}},
                                              [&](TermHits& lists) {
                                                uint16_t db = 0;
                                                for (const HitList& l : lists)
                                                  if (!l.empty()) db = l.front().database;
                                                if (db != 0) seen.push_back(db);  // a run with hits
                                              });
    return std::pair(by_runs, seen);
  };
  const auto [by_runs, seen] = runs_of("the * python", databases_);
  ASSERT_TRUE(by_runs);
  EXPECT_GT(seen.size(), 4u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.front(), 2);
  EXPECT_EQ(seen.back(), 5);

  EXPECT_FALSE(runs_of("python", databases_).first);
  const std::vector<SearchDatabase> reversed(databases_.rbegin(), databases_.rend());
  EXPECT_FALSE(runs_of("the * python", reversed).first);
  options.cache_enabled = true;
  EXPECT_FALSE(runs_of("the * python", databases_).first);
}

}  // namespace
}  // namespace qm
