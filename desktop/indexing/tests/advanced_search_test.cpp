// Tests of the advanced search's texts: the composed search text, the first keyword the
// form opens with, the operator entries, the date texts, the mail fields asked for, and
// whether the configuration keeps the keyword cache the filters need.
#include "desktop/indexing/advanced_search.h"

#include <gtest/gtest.h>

#include "common/strings.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

TEST(AdvancedSearch, ComposedQuery) {
  struct Case {
    const char *main, *str1;
    int op1;
    const char* str2;
    int op2;
    const char* query;
  } cases[] = {
      {"x", "y", 0, "z", 2, "x*y-z"},
      {"x", "   ", 0, "z", 1, "x+z"},        // a box of blanks is skipped with its operator
      {"x", "", 1, "", 1, "x"},
      {"x", " y", 1, "z ", 0, "x+ y*z "},    // other texts go as they stand
      {"\xA4\xA4", "\xA4\xE5", 2, "", 0, "\xA4\xA4-\xA4\xE5"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AdvComposeQuery(c.main, AdvOperatorChar(c.op1), c.str1, AdvOperatorChar(c.op2), c.str2),
              c.query);
  EXPECT_EQ(AdvOperatorChar(0), '*');
  EXPECT_EQ(AdvOperatorChar(1), '+');
  EXPECT_EQ(AdvOperatorChar(2), '-');
}

TEST(AdvancedSearch, FirstKeyword) {
  const std::pair<const char*, const char*> cases[] = {
      {"a+b", "a"}, {"tea*leaf-x", "tea"}, {"green tea", "green tea"}, {"-x", ""}, {"", ""}};
  for (auto [text, first] : cases) EXPECT_EQ(AdvFirstKeyword(text), first) << text;
}

TEST(AdvancedSearch, DatesAndMailFields) {
  EXPECT_EQ(AdvDateText(2000, 3, 5), "2000/3/5");
  EXPECT_EQ(ParseDateText(AdvDateText(2000, 3, 5)), 20000305);
  EXPECT_EQ(ParseDateText(AdvDateText(1999, 12, 31)), 19991231);

  struct Case {
    bool mail_search;
    bool fields[3];
    bool wanted;
  } cases[] = {{true, {true, false, true}, true},
               {true, {false, true, false}, true},
               {true, {false, false, false}, false},
               {false, {true, true, true}, false}};
  for (const Case& c : cases) {
    AdvancedSearchChoice choice;
    choice.mail_search = c.mail_search;
    for (int i = 0; i < 3; ++i) choice.mail_fields[i] = c.fields[i];
    EXPECT_EQ(choice.mail_fields_wanted(), c.wanted);
  }
}

// A record's date number is what "%04d%02d%02d" writes, also for fields out of range.
TEST(AdvancedSearch, RecordDateNumbers) {
  struct Case {
    int y, m, d;
    long long number;
  } cases[] = {{2000, 1, 5, 20000105}, {0, 0, 0, 0},           {12345, 1, 1, 123450101},
               {2000, 123, 5, 200012305}, {-1, 1, 1, -10101}, {1999, 12, 31, 19991231}};
  for (const Case& c : cases) EXPECT_EQ(RecordDateNumber(c.y, c.m, c.d), c.number) << c.y << "/" << c.m << "/" << c.d;
}

TEST(AdvancedSearch, KeywordCacheMustBeOn) {
  common_set_desktop_profile(true);  // a missing file is reported, not fatal
  test::TempDir dir("qm-advcache-");
  const std::string base = "[INDEX]\n[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/\nSystemAdm=a@b\n";
  const std::pair<std::string, bool> cases[] = {
      {"CacheFile=1\nCacheDir=" + dir.path() + "Cache/\n", true},
      {"CacheFile=0\nCacheDir=" + dir.path() + "Cache/\n", false},
      {"CacheDir=" + dir.path() + "Cache/\n", false},
      {"CacheFile=1\n", false},
  };
  EXPECT_FALSE(AdvKeywordCacheOn(dir.path()));  // no configuration at all
  for (const auto& [keys, on] : cases) {
    test::write_file(dir / "vesprin.ini", base + keys);
    EXPECT_EQ(AdvKeywordCacheOn(dir.path()), on) << keys;
  }
}

}  // namespace
}  // namespace qm
