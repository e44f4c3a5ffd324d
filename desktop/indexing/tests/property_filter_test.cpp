// The property filter's parts: the wildcard masks, the date texts, the match of one
// document against every active filter (names of paths longer than property.db keeps
// among them), the rewrite of one cache file and the words of a request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "desktop/indexing/property_file.h"
#include "desktop/indexing/property_filter.h"
#include "desktop/indexing/tests/dated_docs.h"
#include "index/doc_property_format.h"
#include "searcher/keyword_cache.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

TEST(Wildcard, Masks) {
  struct Case {
    std::string mask, name;
    bool match;
  } cases[] = {
      {"*.htm", "INDEX.HTM", true},   {"*.htm", "index.html", false}, {"a*", "abc", true},
      {"a*", "Abc", true},            {"a*", "bca", false},           {"*", "anything", true},
      {"*", "", true},                {"", "", true},                 {"", "x", false},
      {"?", "x", true},               {"?", "", false},               {"?", "xy", false},
      {"**?x", "ax", true},           {"**?x", "x", true},            {"**?x", "xa", false},
      {"a?c", "abc", true},           {"a?c", "ac", false},           {"*b*d", "abcd", true},
      {"a*b*c", "aXbYc", true},       {"a*b*c", "aXc", false},        {"*ab*ab", "xabyab", true},
      {"*a*b", "aab", true},          {"r?p*.doc", "REPORT.DOC", true},
      {"\xA4\x40*", "\xA4\x40.txt", true},
      // Masks beyond 10 parts and literals beyond 80 bytes compile whole.
      {"a?a?a?a?a?a?a?a?a?a?a?a?", "aXaXaXaXaXaXaXaXaXaXaXaX", true},
      {"a?a?a?a?a?a?a?a?a?a?a?a?", "aXaXaXaXaXaXaXaXaXaXaXaXY", false},
      {std::string(100, 'x') + "*", std::string(100, 'x') + "y", true},
      {std::string(100, 'x') + "*", std::string(99, 'x') + "y", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MatchWildcard(c.name, CompileWildcard(c.mask), 0), c.match) << c.mask << " / " << c.name;
  EXPECT_EQ(CompileWildcard("**?x").parts.size(), 1u);
  EXPECT_TRUE(CompileWildcard("").parts.empty());
  EXPECT_EQ(CompileWildcard("a?a?a?a?a?a?a?a?a?a?a?a?").parts.size(), 13u);  // "a", eleven "?a", "?"
}

TEST(DateText, Numbers) {
  struct Case {
    const char* text;
    long long value;
  } cases[] = {
      {"2000/1/5", 20000105}, {"2000/12/31", 20001231}, {"2000", 0},       {"2000/12", 20001200},
      {" 2000/ 1/ 5", 20000105}, {"x/1/2", 102},       {"", 0},           {"1999/1/5x", 19990105},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseDateText(c.text), c.value) << c.text;
}

// A database directory whose property.db holds the records given.
std::string write_table(const test::TempDir& tmp, const std::vector<DocPropertyRecord>& records) {
  std::string bytes(records.size() * doc_property_format::kRecordSize, '\0');
  for (size_t i = 0; i < records.size(); ++i)
    doc_property_encode(records[i], reinterpret_cast<unsigned char*>(&bytes[i * doc_property_format::kRecordSize]));
  const std::string dir = tmp.sub("db");
  test::write_file(dir + "property.db", bytes);
  return dir;
}

DocPropertyRecord rec(const std::string& path, uint16_t kb, int y, int m, int d) {
  DocPropertyRecord r;
  r.path = path;
  r.size_kb = kb;
  r.year = y;
  r.month = m;
  r.day = d;
  return r;
}

TEST(MatchProperties, EveryActiveFilterMustHold) {
  test::TempDir tmp("qm-filter-");
  const std::string dir = write_table(tmp, {rec("/d/INDEX.HTM", 10, 2000, 1, 5),    // 0
                                            rec("/d/index.html", 11, 2000, 1, 4),   // 1
                                            rec("/d/sub\\a.htm", 10, 2000, 1, 6),   // 2
                                            rec("/d/x/", 1, 2000, 1, 5)});          // 3
  struct Case {
    const char* name;
    PropertyFilterOptions options;
    std::vector<bool> pass;  // documents 0..4 (4 lies beyond property.db)
  } cases[] = {
      {"none", {}, {true, true, true, true, true}},
      {"mask", {true, false, false, "*.htm", "", "", 0, false}, {true, false, true, false, false}},
      {"empty name only for an empty mask", {true, false, false, "", "", "", 0, false}, {false, false, false, true, false}},
      {"date inclusive", {false, true, false, "", "2000/1/5", "2000/1/5", 0, false}, {true, false, false, true, false}},
      {"at least 10", {false, false, true, "", "", "", 10, true}, {true, true, true, false, false}},
      {"at most 10", {false, false, true, "", "", "", 10, false}, {true, false, true, true, false}},
      {"all three", {true, true, true, "*.htm", "2000/1/1", "2000/1/5", 10, false}, {true, false, false, false, false}},
  };
  for (const Case& c : cases) {
    PropertyFilter filter(tmp.path());
    filter.SetFilterDirectories(dir, "/d/");
    filter.SetFilterOptions(&c.options);
    for (uint32_t doc = 0; doc < c.pass.size(); ++doc)
      EXPECT_EQ(filter.MatchProperties(doc), c.pass[doc]) << c.name << " document " << doc;
  }
}

// Paths past property.db's 199 bytes: the name mask meets the file name of the whole
// path, read from the index, whether the cut fell in the folder or in the name.
TEST(MatchProperties, NameOfALongPathComesFromTheIndex) {
  test::TempDir tmp("qm-filter-");
  const std::string docs = "/docs/";
  const std::string folder = std::string(190, 'f') + "/";
  const std::string db = tmp.sub("db");
  ASSERT_TRUE(test::write_index(db, {{folder + "report.htm", "one"},        // 0: cut inside the name
                                     {folder + "report.txt", "two"},        // 1
                                     {std::string(200, 'g') + "/x.htm", "three"},  // 2: cut in the folder
                                     {"short.htm", "four"}}));              // 3
  ASSERT_TRUE(BuildPropertyFile(db, docs));
  std::vector<DocPropertyRecord> stored;
  ASSERT_TRUE(LoadPropertyTable(db, stored));
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(stored[0].path.size(), 199u);  // the stored format is kept
  EXPECT_EQ(stored[0].path, (docs + folder + "report.htm").substr(0, 199));

  PropertyFilterOptions options;
  options.name_on = true;
  options.name_mask = "*.htm";
  PropertyFilter filter(tmp.path());
  filter.SetFilterDirectories(db, docs);
  filter.SetFilterOptions(&options);
  const std::vector<bool> expected = {true, false, true, true};
  for (uint32_t doc = 0; doc < expected.size(); ++doc)
    EXPECT_EQ(filter.MatchProperties(doc), expected[doc]) << "document " << doc;
  EXPECT_EQ(filter.Table()[0].path, docs + folder + "report.htm");
  // A table that no longer fits the index (a path not its stored start) keeps its text.
  std::vector<DocPropertyRecord> other = stored;
  other[1].path[5] = 'X';
  test::write_file(db + "property.db", [&] {
    std::string bytes(other.size() * doc_property_format::kRecordSize, '\0');
    for (size_t i = 0; i < other.size(); ++i)
      doc_property_encode(other[i], reinterpret_cast<unsigned char*>(&bytes[i * doc_property_format::kRecordSize]));
    return bytes;
  }());
  PropertyFilter again(tmp.path());
  again.SetFilterDirectories(db, docs);
  again.SetFilterOptions(&options);
  EXPECT_TRUE(again.LoadPropertyTable());
  EXPECT_EQ(again.Table()[1].path, other[1].path);
  EXPECT_EQ(again.Table()[0].path, docs + folder + "report.htm");
}

TEST(FilterCacheFile, DropsFailingHitsInOrder) {
  test::TempDir tmp("qm-filter-");
  const std::string dir = write_table(tmp, {rec("a.htm", 1, 2000, 1, 1), rec("b.txt", 1, 2000, 1, 1),
                                            rec("c.htm", 1, 2000, 1, 1)});
  HitList hits;
  for (uint32_t doc : {0u, 1u, 2u, 2u, 7u}) {
    HitRecord h;
    h.database = 1;
    h.document = doc;
    hits.push_back(h);
  }
  const std::string cache = tmp / "cache/nos";
  ASSERT_TRUE(keyword_cache_write(cache, hits));
  PropertyFilterOptions options;
  options.name_on = true;
  options.name_mask = "*.htm";
  PropertyFilter filter(tmp.path());
  filter.SetFilterDirectories(dir, "");
  filter.SetFilterOptions(&options);
  ASSERT_TRUE(filter.FilterCacheFile(cache));
  HitList back;
  ASSERT_TRUE(keyword_cache_read(cache, back));
  std::vector<uint32_t> docs;
  for (const HitRecord& h : back) docs.push_back(h.document);
  EXPECT_EQ(docs, (std::vector<uint32_t>{0, 2, 2}));
  EXPECT_FALSE(filter.FilterCacheFile(tmp / "cache/missing"));
}

TEST(FilterWords, TermTableOfTheRequest) {
  test::TempDir tmp("qm-filter-");
  struct Case {
    const char* keywords;
    std::vector<std::string> words;
  } cases[] = {
      {"tea", {"TEA"}},
      {"green tea & black", {"GREEN TEA", "BLACK"}},
      {"(tea + coffee) - milk", {"TEA", "COFFEE", "MILK"}},
      {"tea*tea", {"TEA"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    PropertyFilter filter(tmp.path());
    filter.SetFilterKeywords(c.keywords, 1);
    EXPECT_EQ(filter.FilterWords(), c.words) << c.keywords;
  }
}

}  // namespace
}  // namespace qm
