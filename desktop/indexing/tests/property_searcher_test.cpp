// The property filter with the real searcher (CacheFile 1) over a fixture database: a
// first run fills the keyword cache, the filter rewrites it, and a second run must list
// only the documents that pass, also for a paragraph "and" and an English phrase.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "desktop/indexing/property_file.h"
#include "desktop/indexing/property_filter.h"
#include "desktop/indexing/tests/dated_docs.h"
#include "desktop/search/hit_lines.h"
#include "desktop/search/page_run.h"
#include "desktop/search/search_request.h"
#include "index/index_writer.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class SearcherFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string dist = std::string(QM_DIST_DIR) + "/";
    for (const char* name : {"searcher", "big5.dat", "big5.ref", "desktop_hits.htm"})
      fs::create_symlink(dist + name, dir_ / name);
    docs_ = dir_.sub("docs");
    work_ = dir_.sub("db");
    ASSERT_TRUE(test::write_index(work_, test::write_dated_docs(docs_, {
        {"a.htm", 500, test::local_day(2000, 1, 5), "Green tea leaf and black tea."},
        {"b.txt", 20000, test::local_day(2001, 6, 1), "black tea with green tea leaf"},
        {"c.htm", 5000, test::local_day(2002, 3, 3), "leaf of the green tea"},
        {"d.htm", 3000, test::local_day(2000, 1, 5), "tea only"},
    })));
    ASSERT_TRUE(BuildPropertyFile(work_, docs_));
    test::write_file(dir_ / "vesprin.ini",
                     "[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/\nSystemAdm=a@b\n"
                     "TmplNextQuery=desktop_hits.htm\nResultCount=100\nCacheFile=1\nCacheDir=" +
                         dir_.path() + "Cache/\n[INDEX]\n1=1\n[DB-1]\nDescription=Docs\nWorkDir=" + work_ +
                         "\nHtmlDir=" + docs_ + "\n");
  }

  // The document numbers the searcher lists for the keywords.
  std::set<int> search(const std::string& keywords) {
    SearchRequestInput input;
    input.database_ids = {1};
    input.text = keywords;
    const auto query = BuildSearchQuery(input);
    EXPECT_TRUE(query);
    return run_query(*query);
  }

  std::set<int> run_query(const std::string& query) {
    HitLineParser parser;
    PageRun run;
    EXPECT_TRUE(run.start(dir_.path(), "searcher", query, [&](std::string_view b) { return parser.feed(b); },
                          30000));
    run.run_to_end(50, {});
    parser.finish();
    std::set<int> out;
    for (const HitRow& row : parser.rows()) out.insert(std::stoi(row.sub[kSubNumber]));
    return out;
  }

  test::TempDir dir_{"qm-propsearch-"};
  std::string docs_, work_;
};

// The searcher's own date range reads the dates of the desktop's records.
TEST_F(SearcherFixture, SearcherDateRangeReadsTheDesktopRecords) {
  EXPECT_EQ(run_query("s=1&a=100&b=1&z=20000101,20001231&p="), (std::set<int>{0, 3}));
  EXPECT_EQ(run_query("s=1&a=100&b=1&z=20010101,20021231&p=tea"), (std::set<int>{1, 2}));
}

TEST_F(SearcherFixture, SecondRunListsOnlyDocumentsThatPass) {
  auto mask = [](const char* m) {
    PropertyFilterOptions o;
    o.name_on = true;
    o.name_mask = m;
    return o;
  };
  auto dates = [](const char* from, const char* to) {
    PropertyFilterOptions o;
    o.date_on = true;
    o.from_date = from;
    o.to_date = to;
    return o;
  };
  auto size = [](int limit, bool at_least) {
    PropertyFilterOptions o;
    o.size_on = true;
    o.size_limit = limit;
    o.at_least = at_least;
    return o;
  };
  struct Case {
    const char* keywords;
    PropertyFilterOptions options;
    std::set<int> before, after;
  } cases[] = {
      {"tea", mask("*.htm"), {0, 1, 2, 3}, {0, 2, 3}},
      {"tea", dates("2000/1/1", "2000/12/31"), {0, 1, 2, 3}, {0, 3}},
      {"tea", size(3, false), {0, 1, 2, 3}, {0, 3}},
      {"tea", size(10, true), {0, 1, 2, 3}, {1}},
      {"tea & leaf", mask("?.htm"), {0, 1, 2}, {0, 2}},
      {"green tea", dates("2001/1/1", "2002/12/31"), {0, 1, 2}, {1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keywords);
    fs::remove_all(dir_ / "Cache");
    EXPECT_EQ(search(c.keywords), c.before);
    PropertyFilter filter(dir_.path());
    filter.SetFilterDirectories(work_, docs_);
    filter.SetFilterKeywords(c.keywords, 1);
    filter.SetFilterExpansion(QueryFlags{});
    filter.SetFilterOptions(&c.options);
    EXPECT_GT(filter.FilterKeywordCaches(), 0);
    EXPECT_EQ(search(c.keywords), c.after);
  }
}

}  // namespace
}  // namespace qm
