// HTML tag lookup: names found case-blind through the upper-casing, unknown names and the
// 80-byte upper-casing limit.
#include "common/html_tag.h"

#include <gtest/gtest.h>

namespace {

TEST(HtmlTagLookup, FindsNamesAndRejectsOthers) {
  struct Case {
    std::string name;
    int id;
    int flag;
    std::string upper;
  } cases[] = {
      {"a", 1, 0, "A"},
      {"Br", 2, 0, "BR"},
      {"title", 0, 1, "TITLE"},
      {"!--", 15, 1, "!--"},
      {"--", 15, 1, "--"},
      {"JavaScript", 15, 1, "JAVASCRIPT"},
      {"textarea", 16, 1, "TEXTAREA"},
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
