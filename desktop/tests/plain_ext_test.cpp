// Tests of the plain-text extension list: reading the caller's text, what Add accepts,
// and the text handed back.
#include "desktop/plain_ext.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using List = std::vector<std::string>;

TEST(PlainExt, ListFromText) {
  struct {
    std::string text;
    List want;
  } cases[] = {
      {"", {"txt"}},
      {"log", {"txt", "log"}},
      {"log,ini,cfg", {"txt", "log", "ini", "cfg"}},
      {"log,,ini", {"txt", "log"}},  // up to the first empty piece
      {",log", {"txt"}},
      {"log,", {"txt", "log"}},
      {std::string(1500, 'a'), {"txt", std::string(1023, 'a')}},
  };
  for (const auto& c : cases) EXPECT_EQ(PlainExtList(c.text), c.want) << c.text;
}

TEST(PlainExt, Accept) {
  const List list{"txt", "log"};
  struct {
    const char* edit;
    bool want;
  } cases[] = {
      {"ini", true}, {"c99", true}, {"", false}, {"log", false}, {"LOG", false},
      {"txt", false}, {"htm", false}, {"HTML", false}, {"doc", false}, {"xls", false},
      {"ppt", false}, {"pdf", true}, {"a.b", false}, {"a b", false}, {"\xb3\xa1", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PlainExtAccept(list, PlainExtNormalise(c.edit)), c.want) << c.edit;
  EXPECT_EQ(PlainExtNormalise("LoG\xb3\xa1"), "log\xb3\xa1");
}

TEST(PlainExt, TextHandedBack) {
  EXPECT_EQ(PlainExtText({"txt"}), "");
  EXPECT_EQ(PlainExtText({"txt", "log", "ini"}), "log,ini");
  // The round trip keeps the caller's text.
  EXPECT_EQ(PlainExtText(PlainExtList("log,ini,c")), "log,ini,c");
  // Past 1,023 bytes whole entries are left out, never cut.
  List big{"txt", std::string(1020, 'a'), "bcd", "ef"};
  EXPECT_EQ(PlainExtText(big), std::string(1020, 'a') + ",ef");
}

}  // namespace
}  // namespace qm
