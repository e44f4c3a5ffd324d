// Per-database search and evaluation: same paragraph against same document, fault-
// tolerant Chinese words, the paragraph filter, the keyword cache files (paths, writing,
// reading back with the cache on and never with it off) and the optional-step hooks.
#include "searcher/database_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "common/files.h"
#include "platform/fatal.h"
#include "searcher/keyword_cache.h"
#include "searcher/query_evaluate.h"
#include "searcher/tests/search_fixture.h"

namespace qm {
namespace {

// Big5 characters of the fixture.
const std::string A = "\xA4\x40";  // 一
const std::string B = "\xA4\x41";  // 乙
const std::string C = "\xA4\x42";  // 丁
const std::string D = "\xA4\x43";  // 七
const std::string E = "\xA4\x5C";  // 功 (trail byte is a backslash)
const std::string F = "\xA6\x61";  // a character whose trail byte is the letter a

class DatabaseSearch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    const std::vector<std::vector<std::string>> docs = {
        {A + B + " apple", C + D},      // 0: AB and CD in different paragraphs
        {A + B + C + D + " pear"},      // 1: ABCD together
        {A + B + "x" + D, "apple pie"},  // 2: A B _ D: three of four, a gap of one
        {D + C + B + " apple"},          // 3: reverse order
        {E + F + " plum", "x " + A},     // 4
    };
    std::vector<IndexDocument> documents;
    for (size_t i = 0; i < docs.size(); ++i) documents.push_back(test::make_document(i, docs[i]));
    db_.id = 0x1A;
    db_.work_dir = dir_->path() + "db/";
    ASSERT_TRUE(test::write_database(db_.work_dir, documents));
    phrase_db_.id = 0x20;
    phrase_db_.work_dir = dir_->path() + "phrase/";
    phrase_db_.index_type = 1;
    phrase_db_.save_file = true;
    ASSERT_TRUE(test::write_database(phrase_db_.work_dir, documents, true));
  }
  static void TearDownTestSuite() { delete dir_; }

  static std::set<uint32_t> search(std::string text, const SearchOptions& options = {},
                                   const SearchHooks& hooks = {}, HitList* out = nullptr) {
    EXPECT_TRUE(query_parse(text));
    HitList hits = search_expression(text, {db_}, options, hooks);
    std::set<uint32_t> docs;
    for (const HitRecord& h : hits) {
      EXPECT_EQ(h.database, db_.id);
      docs.insert(h.document);
    }
    if (out) *out = hits;
    return docs;
  }

  static test::TempDir* dir_;
  static SearchDatabase db_, phrase_db_;
};
test::TempDir* DatabaseSearch::dir_ = nullptr;
SearchDatabase DatabaseSearch::db_, DatabaseSearch::phrase_db_;

TEST_F(DatabaseSearch, WordsAndOperators) {
  SearchOptions tolerant;
  tolerant.flags.fault_tolerant = true;
  SearchOptions second_paragraph;
  second_paragraph.paragraphs = "2";
  struct Case {
    std::string query;
    SearchOptions options;
    std::set<uint32_t> docs;
  };
  const Case cases[] = {
      {A + B, {}, {0, 1, 2}},
      {A + B + " " + C + D, {}, {1}},       // one paragraph
      {A + B + " & " + C + D, {}, {0, 1}},  // one document
      {"(" + A + B + " + " + D + C + ") - pear", {}, {0, 2, 3}},
      {"(" + A + B + " + apple) - " + E + A, {}, {0, 1, 2, 3}},  // the excluded word occurs nowhere
      {A + B + C + D, {}, {1}},
      {A + B + C + D, tolerant, {1, 2}},  // three of four characters close together
      {A + B + C, tolerant, {1}},         // three characters need all three
      {E + F, {}, {4}},                   // trail bytes 0x5C and 'a' are no ASCII
      {"a", {}, {}},
      {A, {}, {0, 1, 2, 4}},
      {A, second_paragraph, {4}},
      {"apple", second_paragraph, {2}},
      {"APPLE PIE", {}, {2}},
      {"apple ~ " + A + B, {}, {0}},
  };
  for (const Case& c : cases) EXPECT_EQ(search(c.query, c.options), c.docs) << c.query;
}

TEST_F(DatabaseSearch, Scores) {
  HitList hits;
  // A and B in one paragraph of document 0: 1 + 1; document 1 likewise.
  search(A + " " + B + " + apple", {}, {}, &hits);
  ASSERT_EQ(hits.size(), 4u);
  EXPECT_EQ(hits[0].document, 0u);
  EXPECT_EQ(hits[0].score, 3);  // A, B and apple
  EXPECT_EQ(hits[1].score, 2);
}

TEST(KeywordCache, Paths) {
  QueryFlags none;
  QueryFlags both;
  both.homophone = both.fault_tolerant = true;
  QueryFlags tolerant;
  tolerant.fault_tolerant = true;
  EXPECT_EQ(keyword_cache_path("/c/", 0x1A, "AB", CacheKind::Plain, none), "/c/1A/41/42/nos");
  EXPECT_EQ(keyword_cache_path("/c/", 0x1A, "ABCDEFGH", CacheKind::Plain, none),
            "/c/1A/41/42/43/44/45/46/4748/nos");
  EXPECT_EQ(keyword_cache_path("/c/", 255, "ABCDEF", CacheKind::Number, both), "/c/FF/41/42/43/44/45/46/numhmfz");
  EXPECT_EQ(keyword_cache_path("/c/", 1, "\xA4\x5C", CacheKind::Date, tolerant), "/c/1/A4/5C/datfz");
  EXPECT_EQ(keyword_cache_path("/c/", 2, "A B", CacheKind::Weight, none), "/c/2/41/20/42/wet");
}

TEST_F(DatabaseSearch, CacheFilesAreWrittenAndReadBackOnlyWithTheCacheOn) {
  test::TempDir cache;
  SearchOptions on;
  on.cache_enabled = true;
  on.cache_dir = cache.path();
  SearchOptions off = on;
  off.cache_enabled = false;

  const std::string query = "apple + " + A + B + " + nothing";
  SearchStats stats;
  std::string expression = query;
  ASSERT_TRUE(query_parse(expression));
  HitList first = search_expression(expression, {db_}, on, {}, &stats);
  EXPECT_EQ(stats.cache_writes, 3u);
  EXPECT_EQ(stats.cache_reads, 0u);

  const std::string apple = cache.path() + "1A/41/50/50/4C/45/nos";
  const std::string ab = cache.path() + "1A/A4/40/A4/41/nos";
  const std::string nothing = cache.path() + "1A/4E/4F/54/48/49/4E/47/nos";
  EXPECT_EQ(file_size(apple), 3 * 20);  // documents 0, 2 (twice: apple, apple pie) and 3
  EXPECT_EQ(file_size(ab), 3 * 20);
  ASSERT_TRUE(file_exists(nothing));
  EXPECT_EQ(file_size(nothing), 0);  // a cached answer of no hits

  // The same request again reads every file and searches nothing.
  stats = {};
  HitList second = search_expression(expression, {db_}, on, {}, &stats);
  EXPECT_EQ(stats.cache_reads, 3u);
  EXPECT_EQ(stats.cache_writes, 0u);
  EXPECT_EQ(stats.postings_read, 0u);
  EXPECT_EQ(second, first);

  // A rewritten file (as the desktop's property filter does) is what the next request
  // sees with the cache on; with it off the index is searched and the file left alone.
  HitRecord fake;
  fake.database = 0x1A;
  fake.document = 4;
  fake.score = 1;
  fake.hit_count = 1;
  ASSERT_TRUE(keyword_cache_write(apple, {fake}));
  EXPECT_EQ(search("apple", on), (std::set<uint32_t>{4}));
  EXPECT_EQ(search("apple", off), (std::set<uint32_t>{0, 2, 3}));
  EXPECT_EQ(file_size(apple), 20);

  // Other flags use other files.
  SearchOptions tolerant = on;
  tolerant.flags.fault_tolerant = true;
  EXPECT_EQ(search("apple", tolerant), (std::set<uint32_t>{0, 2, 3}));
  EXPECT_TRUE(file_exists(cache.path() + "1A/41/50/50/4C/45/nosfz"));

  // A damaged file is searched again and rewritten.
  ASSERT_EQ(file_write_all(apple, "1234567", false), 1);
  EXPECT_EQ(search("apple", on), (std::set<uint32_t>{0, 2, 3}));
  EXPECT_EQ(file_size(apple), 3 * 20);

  // No temporary files are left beside the cache files.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(cache.path())) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "nos" || name == "nosfz") << entry.path();
  }
}

TEST_F(DatabaseSearch, UnwritableCacheKeepsHitsInMemory) {
  test::TempDir cache;
  const std::string blocked = cache.path() + "file";
  ASSERT_EQ(file_write_all(blocked, "x", false), 1);
  SearchOptions on;
  on.cache_enabled = true;
  on.cache_dir = blocked + "/";  // a file where a directory should be
  EXPECT_EQ(search("apple", on), (std::set<uint32_t>{0, 2, 3}));
}

TEST_F(DatabaseSearch, Hooks) {
  // Phrase databases hand Chinese words to the phrase search; without it they find none.
  std::string expression = A + B + "+apple";
  QueryTermTable table = term_table_build(expression);
  TermHits lists = search_database({table, homophone_slots_plain(table), {phrase_db_}, {}, {}});
  EXPECT_TRUE(lists[0].empty());
  EXPECT_EQ(lists[2].size(), 3u);  // English words are searched as ever

  size_t phrase_calls = 0;
  SearchHooks hooks;
  hooks.phrase_search = [&](IndexFileSet& set, const SearchDatabase& db, const CharacterSlots& word,
                            const SearchOptions&) {
    ++phrase_calls;
    EXPECT_TRUE(set.has_char_pairs());
    EXPECT_EQ(db.id, 0x20);
    EXPECT_EQ(word, (CharacterSlots{{0xA440}, {0xA441}}));
    HitRecord h;
    h.database = db.id;
    h.document = 1;
    h.score = h.hit_count = 1;
    return HitList{h};
  };
  lists = search_database({table, homophone_slots_plain(table), {phrase_db_}, {}, hooks});
  EXPECT_EQ(phrase_calls, 1u);
  EXPECT_EQ(lists[0].size(), 1u);

  // The word-boundary check sees exact Chinese hits of two characters or more with c "9".
  size_t boundary_calls = 0, done_calls = 0;
  hooks = {};
  hooks.word_boundary = [&](IndexFileSet&, size_t characters, std::vector<PostingEntry>& hits) {
    ++boundary_calls;
    EXPECT_EQ(characters, 2u);
    std::erase_if(hits, [](const PostingEntry& e) { return e.document == 0; });
  };
  hooks.word_boundary_done = [&] { ++done_calls; };
  SearchOptions boundary;
  boundary.flags.word_boundary = true;
  EXPECT_EQ(search(A + B + "+" + A, boundary, hooks), (std::set<uint32_t>{0, 1, 2, 4}));
  EXPECT_EQ(search(A + B, boundary, hooks), (std::set<uint32_t>{1, 2}));
  EXPECT_EQ(boundary_calls, 2u);
  EXPECT_EQ(done_calls, 2u);

  // The property step gets the collapsed list.
  hooks = {};
  hooks.property_step = [](HitList& hits) {
    EXPECT_EQ(hits.size(), 3u);
    std::reverse(hits.begin(), hits.end());
  };
  HitList hits;
  search(A + B, {}, hooks, &hits);
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[0].document, 2u);
}

TEST_F(DatabaseSearch, MissingIndexFilesAreCountedAsReadFailures) {
  SearchDatabase missing;
  missing.id = 9;
  missing.work_dir = dir_->path() + "none/";
  QueryTermTable table = term_table_build("apple");
  SearchStats stats;
  EXPECT_TRUE(search_database({table, {}, {missing}, {}, {}, &stats})[0].empty());
  EXPECT_EQ(stats.read_failures, 1u);
}

}  // namespace
}  // namespace qm
