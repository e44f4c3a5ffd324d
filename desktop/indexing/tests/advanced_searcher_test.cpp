// The advanced search's road with the real searcher (CacheFile 1) over a fixture document
// database of known names, dates and sizes and a fixture mail database: the pre-run fills
// the keyword cache, the filter loop rewrites it, and the real run must list only the
// documents that pass each file filter, all three together, a paragraph "and" query, and
// the mail received-date range; a database without a filter is left whole.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/strings.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/indexing/advanced_search.h"
#include "desktop/indexing/property_file.h"
#include "desktop/indexing/tests/dated_docs.h"
#include "desktop/search/hit_lines.h"
#include "desktop/search/page_run.h"
#include "desktop/search/pre_run.h"
#include "desktop/search/search_request.h"
#include "index/index_writer.h"
#include "mail/side_files_format.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class AdvancedSearcher : public ::testing::Test {
 protected:
  void SetUp() override {
    // As the desktop reads its configuration (its own reading leaves out the cache keys).
    common_set_desktop_profile(true);
    const std::string dist = std::string(QM_DIST_DIR) + "/";
    for (const char* name : {"searcher", "big5.dat", "big5.ref", "desktop_hits.htm"})
      fs::create_symlink(dist + name, dir_ / name);
    docs_ = dir_.sub("docs");
    work_ = dir_.sub("db");
    mail_ = dir_.sub("mail");
    const auto index = test::write_dated_docs(docs_, {
        {"a.htm", 500, test::local_day(2000, 1, 5), "Green tea leaf and black tea."},
        {"b.txt", 20000, test::local_day(2001, 6, 1), "black tea with green tea leaf"},
        {"c.htm", 5000, test::local_day(2002, 3, 3), "leaf of the green tea"},
        {"d.htm", 3000, test::local_day(2000, 1, 5), "tea only"},
        {"e.htm", 12000, test::local_day(2000, 2, 1), "tea and leaf"},
    });
    ASSERT_TRUE(test::write_index(work_, index));
    ASSERT_TRUE(BuildPropertyFile(work_, docs_));

    ASSERT_TRUE(test::write_index(mail_, {{"Tea party", "Come for tea."}, {"Re: tea", "More tea, please."},
                                         {"Old tea", "Tea of last year."}}));
    test::write_file(mail_ + "MailProperty.db",
                     mail_side::encode(mail_side::MailPropertyRecord{20010203, "Tea party", "Ann"}) +
                         mail_side::encode(mail_side::MailPropertyRecord{20010204, "Re: tea", "Bob"}) +
                         mail_side::encode(mail_side::MailPropertyRecord{19991231, "Old tea", "Cy"}));
    ASSERT_TRUE(BuildMailPropertyFile(mail_));
    write_ini("1");
  }

  void TearDown() override { common_set_desktop_profile(false); }

  void write_ini(const char* cache) {
    test::write_file(dir_ / "vesprin.ini",
                     "[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/\nSystemAdm=a@b\n"
                     "TmplNextQuery=desktop_hits.htm\nResultCount=100\nCacheFile=" + std::string(cache) +
                         "\nCacheDir=" + dir_.path() + "Cache/\n[INDEX]\n1=1\n2=1\n"
                         "[DB-1]\nDescription=Docs\nWorkDir=" + work_ + "\nHtmlDir=" + docs_ +
                         "\n[DB-2]\nDescription=Mail\nWorkDir=" + mail_ + "\nHtmlDir=" + mail_ + "\nMail=1\n");
  }

  // (database id, document) of every hit the searcher lists.
  std::set<std::pair<int, int>> run(const std::string& query) {
    HitLineParser parser;
    PageRun page;
    EXPECT_TRUE(page.start(dir_.path(), "searcher", query, [&](std::string_view b) { return parser.feed(b); },
                           30000));
    page.run_to_end(50, {});
    parser.finish();
    std::set<std::pair<int, int>> out;
    for (const HitRow& row : parser.rows()) out.insert({row.database_id, std::stoi(row.sub[kSubNumber])});
    return out;
  }

  // The whole road: the pre-run, the filter loop, the real run.
  std::set<std::pair<int, int>> advanced(const std::vector<int>& ids, const std::string& keywords,
                                         const PropertyFilterOptions& files, const MailDateFilter& mail) {
    fs::remove_all(dir_ / "Cache");
    SearchRequestInput input;
    input.database_ids = ids;
    input.text = keywords;
    const auto query = BuildSearchQuery(input);
    EXPECT_TRUE(query);
    int polls = 0;
    EXPECT_EQ(PreRunSearcher(dir_.path(), *query, 20000, 20, [&] { ++polls; }),
              PageRun::End::OutputEnded);
    DatabaseCatalog catalogue(dir_.path());
    AdvFilterCaches(dir_.path(), catalogue, ids, keywords, QueryFlags{}, files, mail);
    return run(*query);
  }

  test::TempDir dir_{"qm-advsearch-"};
  std::string docs_, work_, mail_;
};

TEST_F(AdvancedSearcher, FileFiltersShowOnlyMatchingHits) {
  PropertyFilterOptions name;
  name.name_on = true;
  name.name_mask = "*.htm";
  PropertyFilterOptions date;
  date.date_on = true;
  date.from_date = "2000/1/1";
  date.to_date = "2000/12/31";
  PropertyFilterOptions size;
  size.size_on = true;
  size.size_limit = 5;
  size.at_least = true;
  PropertyFilterOptions all = name;
  all.date_on = true;
  all.from_date = date.from_date;
  all.to_date = date.to_date;
  all.size_on = true;
  all.size_limit = 5;
  all.at_least = true;
  using Hits = std::set<std::pair<int, int>>;
  struct Case {
    const char* name;
    const char* keywords;
    PropertyFilterOptions options;
    Hits hits;
  } cases[] = {
      {"none", "tea", {}, {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}}},
      {"name", "tea", name, {{1, 0}, {1, 2}, {1, 3}, {1, 4}}},
      {"date", "tea", date, {{1, 0}, {1, 3}, {1, 4}}},
      {"size", "tea", size, {{1, 1}, {1, 2}, {1, 4}}},  // 5,000 bytes is 5 KB
      {"all three", "tea", all, {{1, 4}}},
      {"paragraph and", "tea & leaf", name, {{1, 0}, {1, 2}, {1, 4}}},
      {"operators", "leaf-black", date, {{1, 4}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(advanced({1}, c.keywords, c.options, {}), c.hits);
  }
}

TEST_F(AdvancedSearcher, MailDateFilterOverMailDatabase) {
  MailDateFilter mail{true, "2001/1/1", "2001/12/31"};
  PropertyFilterOptions name;
  name.name_on = true;
  name.name_mask = "a*";
  // The mail database by its received dates; the documents by their names.
  EXPECT_EQ(advanced({1, 2}, "tea", name, mail), (std::set<std::pair<int, int>>{{1, 0}, {2, 0}, {2, 1}}));
  // Without the mail date filter the mail database keeps every hit.
  EXPECT_EQ(advanced({1, 2}, "tea", name, {}),
            (std::set<std::pair<int, int>>{{1, 0}, {2, 0}, {2, 1}, {2, 2}}));
  // Only the mail filter: the documents stay whole.
  EXPECT_EQ(advanced({1, 2}, "tea", {}, MailDateFilter{true, "1999/1/1", "1999/12/31"}),
            (std::set<std::pair<int, int>>{{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 2}}));
}

// Without the keyword cache the filters cannot act: the configuration says so.
TEST_F(AdvancedSearcher, CacheOffIsSeen) {
  EXPECT_TRUE(AdvKeywordCacheOn(dir_.path()));
  write_ini("0");
  EXPECT_FALSE(AdvKeywordCacheOn(dir_.path()));
}

}  // namespace
}  // namespace qm
