// Tests of EnumFontFamiliesA over a private fontconfig configuration: families that
// exist and do not, names in the caller's character set (valid and invalid bytes), the
// reported face names, stopping at a zero callback, and one call per family without a
// name.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/gdi/qmgdi.h"
#include "platform/gdi/tests/private_fonts.h"

namespace {

struct Seen {
  std::vector<std::string> names;
  int32_t answer = 1;
};

int32_t Collect(const LOGFONTA* lf, const void*, DWORD, intptr_t data) {
  auto* seen = reinterpret_cast<Seen*>(data);
  seen->names.push_back(lf->lfFaceName);
  return seen->answer;
}

class Fonts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { qm::test::UsePrivateFonts(); }
};

TEST_F(Fonts, FamiliesByNameInTheirCharacterSet) {
  struct Case {
    const char* family;
    BYTE char_set;
    bool found;
  } cases[] = {
      {"DejaVu Sans", ANSI_CHARSET, true},
      {"dejavu sans", ANSI_CHARSET, true},  // fontconfig compares case-blind
      {"AR PL UMing TW", CHINESEBIG5_CHARSET, true},
      {"AR PL UMing TW", GB2312_CHARSET, true},
      {"Liberation Serif", ANSI_CHARSET, false},  // installed perhaps, but not in the private list
      {"\xB7\x73\xB2\xD3\xA9\xFA\xC5\xE9", CHINESEBIG5_CHARSET, false},  // "新細明體" in Big5
      {"\xA4", CHINESEBIG5_CHARSET, false},  // a lone lead byte
      {"", ANSI_CHARSET, false},
  };
  for (const Case& c : cases) {
    Seen seen;
    int32_t r = QmEnumFontFamiliesCharSet(nullptr, c.family, c.char_set, Collect, reinterpret_cast<intptr_t>(&seen));
    EXPECT_EQ(!seen.names.empty(), c.found) << c.family;
    EXPECT_EQ(r, c.found ? 1 : 0) << c.family;
    for (const std::string& n : seen.names) EXPECT_EQ(n.size(), std::string(c.family).size()) << n;
  }
}

TEST_F(Fonts, ZeroFromTheCallbackStops) {
  Seen seen;
  seen.answer = 0;
  EXPECT_EQ(EnumFontFamiliesA(nullptr, "DejaVu Sans", Collect, reinterpret_cast<intptr_t>(&seen)), 0);
  EXPECT_EQ(seen.names.size(), 1u);
}

TEST_F(Fonts, WithoutANameEachFamilyOnce) {
  Seen seen;
  EnumFontFamiliesA(nullptr, nullptr, Collect, reinterpret_cast<intptr_t>(&seen));
  std::set<std::string> unique(seen.names.begin(), seen.names.end());
  EXPECT_EQ(unique.size(), seen.names.size());
  EXPECT_TRUE(unique.count("DejaVu Sans"));
  EXPECT_TRUE(unique.count("AR PL UMing TW") || unique.count("AR PL UMing CN"));
  EXPECT_FALSE(unique.count("Liberation Serif"));
}

}  // namespace
