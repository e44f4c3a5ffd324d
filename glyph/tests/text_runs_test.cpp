// Tests of run splitting: EUDC characters amid Big5 text, each double-byte set's EUDC
// areas, lone and invalid lead bytes, sets without double bytes, and the high-byte runs
// of single-byte text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glyph/text_runs.h"

namespace qm::glyph::test {
namespace {

// Runs written as "start+length" with E for special ones.
std::string Show(const std::vector<TextRun>& runs) {
  std::string out;
  for (const TextRun& r : runs)
    out += std::to_string(r.start) + "+" + std::to_string(r.length) + (r.special ? "E " : " ");
  return out;
}

TEST(SplitEudcRuns, Table) {
  struct Case {
    uint8_t set;
    std::string text;
    std::string runs;
  };
  const Case cases[] = {
      // Big5: ordinary, EUDC 0xFA40 in the middle, ordinary: three runs.
      {136, "\xA4\x40" "A\xFA\x40\xA4\x41", "0+3 3+2E 5+2 "},
      {136, "\xFA\x40\xFE\xFE", "0+4E "},
      {136, "\x81\x40", "0+2E "},            // user area at the start of the lead range
      {136, "\xC6\xA1\xC6\x40", "0+2E 2+2 "},  // 0xC6A1 EUDC; 0xC640 outside the area
      {136, "AB", "0+2 "},
      {136, "\xFA", "0+1 "},                 // lone lead byte at the end
      {136, "\xFA\x20\xFA\x40", "0+2 2+2E "},  // invalid trail: lead taken alone
      {128, "\xF0\x40\x82\xA0", "0+2E 2+2 "},  // Shift-JIS user area
      {129, "\xC9\xA1\xB0\xA1", "0+2E 2+2 "},
      {134, "\xAA\xA1\xB0\xA1\xF8\xA1", "0+2E 2+2 4+2E "},
      {0, "\xFA\x40", "0+2 "},               // no double bytes: one run
      {136, "", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Show(SplitEudcRuns(c.set, reinterpret_cast<const unsigned char*>(c.text.data()), c.text.size())),
              c.runs)
        << int(c.set) << " " << c.runs;
}

TEST(SplitHighByteRuns, EachHighByteAlone) {
  const std::string text = "ab\xE9\xE8" "cd\xFF";
  EXPECT_EQ(Show(SplitHighByteRuns(reinterpret_cast<const unsigned char*>(text.data()), text.size())),
            "0+2 2+1E 3+1E 4+2 6+1E ");
  EXPECT_EQ(Show(SplitHighByteRuns(nullptr, 3)), "");
}

}  // namespace
}  // namespace qm::glyph::test
