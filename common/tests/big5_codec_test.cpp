// Tests of the Big5 codec against iconv's CP950 converter as the oracle: every pair that
// iconv decodes comes back to itself (or, for the few pairs that share a character, to
// the pair iconv writes), and text with characters Big5 lacks is refused.
#include "common/big5_codec.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace {

// iconv's own encoding of one UTF-8 character; empty when it refuses.
std::string iconv_encode(const std::string& utf8) {
  iconv_t cd = iconv_open("CP950", "UTF-8");
  std::string out(8, '\0');
  char* ip = const_cast<char*>(utf8.data());
  char* op = out.data();
  size_t il = utf8.size(), ol = out.size();
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == size_t(-1)) return "";
  out.resize(out.size() - ol);
  return out;
}

TEST(Big5Codec, EveryPairRoundTrips) {
  int pairs = 0, shared = 0;
  for (unsigned lead = 0xA1; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      const std::string big5{char(lead), char(trail)};
      const char32_t code = qm::big5_code_of(static_cast<unsigned char>(lead),
                                             static_cast<unsigned char>(trail));
      if (code == 0) continue;
      ++pairs;
      const std::string utf8 = qm::big5_to_utf8(big5);
      std::string back;
      ASSERT_TRUE(qm::big5_from_utf8(utf8, back)) << std::hex << lead << trail;
      if (back != big5) {
        ++shared;  // two pairs, one character: the pair iconv writes wins
        EXPECT_EQ(back, iconv_encode(utf8)) << std::hex << lead << trail;
      }
      EXPECT_EQ(qm::big5_to_utf8(back), utf8);
    }
  }
  EXPECT_GT(pairs, 13000);  // the CP950 table holds some 13,900 pairs
  EXPECT_LE(shared, 20);  // a handful of characters have two pairs
}

TEST(Big5Codec, TextConvertsBothWays) {
  const std::string zhongwen_big5 = "\xA4\xA4\xA4\xE5";  // 中文
  std::string out;
  ASSERT_TRUE(qm::big5_from_utf8("a \xE4\xB8\xAD\xE6\x96\x87!", out));
  EXPECT_EQ(out, "a " + zhongwen_big5 + "!");
  EXPECT_EQ(qm::big5_to_utf8("a " + zhongwen_big5 + "!"), "a \xE4\xB8\xAD\xE6\x96\x87!");
}

TEST(Big5Codec, UnmappableInputIsRefused) {
  struct Case {
    const char* name;
    std::string utf8;
    size_t bad_at;
  };
  const Case cases[] = {
      {"emoji", "ab\xF0\x9F\x98\x80", 2},
      {"simplified-only character", "\xE4\xB8\xAD\xE8\xBF\x99", 3},  // 中这
      {"invalid UTF-8", "x\xC3", 1},
      {"overlong slash", "\xC0\xAF", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "untouched";
    size_t bad = 999;
    EXPECT_FALSE(qm::big5_from_utf8(c.utf8, out, &bad));
    EXPECT_EQ(bad, c.bad_at);
    EXPECT_EQ(out, "untouched");
  }
}

TEST(Big5Codec, BadBig5IsShownAsReplacement) {
  // A stray high byte and a lead byte at the end: each one replacement character.
  EXPECT_EQ(qm::big5_to_utf8("\x80z\xA4"), "\xEF\xBF\xBDz\xEF\xBF\xBD");
}

}  // namespace
