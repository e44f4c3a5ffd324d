// HTML tag lookup: names found case-blind through the upper-casing, unknown names and the
// 80-byte upper-casing limit.
#include "common/html_tag.h"

#include <gtest/gtest.h>

#include <cctype>
#include <iterator>
#include <string>

namespace {

TEST(HtmlTagLookup, FindsNamesAndRejectsOthers) {
  struct Case {
    std::string name;
    int id;
    int flag;
    std::string upper;
  } cases[] = {
      {"Br", 2, 0, "BR"},
      {"JavaScript", 15, 1, "JAVASCRIPT"},
      {"h7", -1, 0, "H7"},
      {"", -1, 0, ""},
      {"SCRIPTS", -1, 0, "SCRIPTS"},
      {"\xA4\x61", -1, 0, "\xA4\x61"},  // a Big5 pair whose trail byte is "a" stays
  };
  for (const Case& c : cases) {
    qm::HtmlTagRecord tag{c.name, 99, 99};
    qm::html_tag_lookup(tag);
    EXPECT_EQ(tag.id, c.id) << c.name;
    EXPECT_EQ(tag.flag, c.flag) << c.name;
    EXPECT_EQ(tag.name, c.upper) << c.name;
  }
}

TEST(HtmlTagLookup, EveryNameOfTheTableInItsOrder) {
  struct Row {
    const char* name;
    int id;
    int flag;
  } rows[] = {{"A", 1, 0},          {"BR", 2, 0},       {"P", 3, 1},      {"HR", 11, 1},
              {"H1", 4, 1},         {"H2", 5, 1},       {"H3", 6, 1},     {"H4", 7, 1},
              {"H5", 8, 1},         {"H6", 9, 1},       {"HTML", 13, 1},  {"HEAD", 14, 1},
              {"TITLE", 0, 1},      {"BODY", 12, 1},    {"TABLE", 10, 1}, {"TEXTAREA", 16, 1},
              {"SCRIPT", 15, 1},    {"!--", 15, 1},     {"--", 15, 1},    {"JAVASCRIPT", 15, 1},
              {"VBSCRIPT", 15, 1}};
  ASSERT_EQ(qm::HtmlTagTable.size(), std::size(rows) + 1);
  for (size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_STREQ(qm::HtmlTagTable[i].name, rows[i].name) << i;
    std::string lower = rows[i].name;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    qm::HtmlTagRecord tag{lower, 99, 99};
    qm::html_tag_lookup(tag);
    EXPECT_EQ(tag.id, rows[i].id) << rows[i].name;
    EXPECT_EQ(tag.flag, rows[i].flag) << rows[i].name;
  }
}

TEST(HtmlTagLookup, UpperCasesOnlyTheFirst80Bytes) {
  qm::HtmlTagRecord tag{std::string(85, 'b'), 0, 0};
  qm::html_tag_lookup(tag);
  EXPECT_EQ(tag.name, std::string(80, 'B') + std::string(5, 'b'));
  EXPECT_EQ(tag.id, -1);
}

TEST(HtmlTagLookup, TableEndsWithTheEndEntry) {
  EXPECT_EQ(qm::HtmlTagTable.back().id, -1);
  EXPECT_EQ(qm::HtmlTagTable.back().flag, 0);
  for (size_t i = 0; i + 1 < qm::HtmlTagTable.size(); ++i) EXPECT_NE(qm::HtmlTagTable[i].id, -1);
}

}  // namespace
