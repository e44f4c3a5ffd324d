// Format changes: which attributes two run records differ in, and that exactly the changed
// ones reach the writer (character codes, face by id and by name, size, colour).
#include <gtest/gtest.h>

#include "filters/html/pc_chars.h"
#include "filters/html/pc_format.h"
#include "filters/html/tests/writer_harness.h"

namespace pc {
namespace {

using test::Harness;

constexpr uint32_t kLatin1 = 0x100;

CharAttrRecord bold_italic() {
  CharAttrRecord r;
  r.flags = 0x1 | 0x2;
  r.toggles[0] = 1;  // bold
  r.toggles[1] = 1;  // italic
  return r;
}

TEST(PagecastFormatChange, ChangesComparesOnlyAttributesEitherRecordSets) {
  CharAttrRecord none, bi = bold_italic(), bold = bold_italic(), red, big, sized_same;
  bold.toggles[1] = 0;
  red.flags = 0x100000;
  red.colour = 0x0000FF;
  big.flags = 0x80000;
  big.fontSize = 480;
  sized_same = big;
  CharAttrRecord unset_colour;  // colour differs but no record sets it
  unset_colour.colour = 0x00FF00;
  struct Case {
    const CharAttrRecord* a;
    const CharAttrRecord* b;
    uint32_t want;
    const char* what;
  } cases[] = {
      {&none, &none, 0, "nothing set"},
      {&none, &bi, 0x3, "bold and italic on"},
      {&bi, &bold, 0x2, "italic off"},
      {&bi, &red, 0x100003, "codes off, colour set"},
      {&big, &sized_same, 0, "same size"},
      {&none, &unset_colour, 0, "a value without its bit"},
  };
  for (const Case& c : cases) EXPECT_EQ(CharAttrChanges(*c.a, *c.b), c.want) << c.what;
}

TEST(PagecastFormatChange, OnlyTheChangedAttributesReachTheWriter) {
  uint32_t st = 0;
  {
    // Both toggles on, but only bold is a change: italic stays off.
    Harness h(7);
    BuildCharTable(h.s, kLatin1);
    EXPECT_EQ(WriteFormatChange(bold_italic(), 0x1, h.s), KVX_OK);
    FlushCodes(st, h.s);
    CloseCodes(st, h.s);
    EXPECT_EQ(h.out(), "<B></B>");
  }
  {
    // No change writes nothing, and the face callback is not asked.
    Harness h(7);
    BuildCharTable(h.s, kLatin1);
    int asked = 0;
    FontFaceOf face = [&asked](uint16_t) {
      ++asked;
      return std::string("Arial");
    };
    EXPECT_EQ(WriteFormatChange(bold_italic(), 0, h.s, face), KVX_OK);
    FlushPendingFormat(st, h.s);
    EXPECT_EQ(h.out(), "");
    EXPECT_EQ(asked, 0);
    // The font by id, then the codes: FONT outermost.
    CharAttrRecord r = bold_italic();
    r.fontIds[0] = 3;
    EXPECT_EQ(WriteFormatChange(r, 0x80000003u, h.s, face), KVX_OK);
    EXPECT_EQ(asked, 1);
    FlushPendingFormat(st, h.s);
    WriteText8("x", st, h.s);
    CloseFormatting(st, h.s);
    EXPECT_NE(h.out().find("FACE=\"Arial\""), std::string::npos) << h.out();
    EXPECT_LT(h.out().find("<FONT"), h.out().find("<B>")) << h.out();
    EXPECT_NE(h.out().find("<B><I>x</I></B>"), std::string::npos) << h.out();
  }
  {
    // A face name that cannot go into markup leaves the document's face.
    Harness h(7);
    BuildCharTable(h.s, kLatin1);
    CharAttrRecord r;
    r.fontNames[0] = u"Bad\"Name";
    EXPECT_EQ(WriteFormatChange(r, 0x200000, h.s), KVX_OK);
    FlushPendingFormat(st, h.s);
    WriteText8("y", st, h.s);
    CloseFormatting(st, h.s);
    EXPECT_EQ(h.out().find("FACE="), std::string::npos) << h.out();
  }
}

}  // namespace
}  // namespace pc
