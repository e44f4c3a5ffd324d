// Style sheets: class names, CSS property lists of paragraph and character records
// (lengths truncated to points, negative margins as 0, shading blends, font names
// quoted), and the style block with its fixed lines and the rules of used classes.
#include <gtest/gtest.h>

#include <string>

#include "filters/html/pc_css.h"
#include "filters/html/tests/writer_harness.h"

namespace pc::test {
namespace {

TEST(PagecastCss, ClassNames) {
  EXPECT_EQ(ClassName(u"Heading 1"), "Heading-00201");
  EXPECT_EQ(ClassName(u"a-b"), "a--b");
  EXPECT_EQ(ClassName(u"\u6a19\u984c"), "-6a19-984c");
  std::u16string longName(300, u'x');
  EXPECT_EQ(ClassName(longName + u"1"), std::string(300, 'x') + "1");  // never cut
  EXPECT_NE(ClassName(longName + u"1"), ClassName(longName + u"2"));
}

std::string props(const ParaAttrRecord& p, const CharAttrRecord& c, int mode, bool sheet = false,
                  uint32_t flavour = 13) {
  Harness h(flavour);
  BuildCharTable(h.s, 0x00080101);
  uint32_t st = 0;
  WriteCssProps(p, c, mode, sheet, false, u"Arial", st, h.s);
  EXPECT_EQ(st, 0u);
  return h.out();
}

TEST(PagecastCss, Properties) {
  CharAttrRecord none;
  ParaAttrRecord p;
  p.flags = 0x20 | 0x10;
  p.firstLine = -360;
  p.left = 30;
  EXPECT_EQ(props(p, none, 2), " margin-left: 1pt;");
  p.left = -100;
  p.firstLine = 400;
  EXPECT_EQ(props(p, none, 2), " margin-left: 0pt; text-indent: 20pt;");
  ParaAttrRecord a;
  a.flags = 0x1 | 0x2 | 0x8;
  a.alignment = 3;
  a.spaceBefore = 240;
  a.lineHeight = 300;
  EXPECT_EQ(props(a, none, 2), " margin-top: 12pt; text-align: center; line-height: 15pt;");
  ParaAttrRecord sh;
  sh.flags = 0x10000;
  sh.shading[0] = 13;
  sh.shading[1] = 255;
  sh.shading[2] = 0x000080FF;
  sh.shading[3] = 0x00FFFFFF;
  EXPECT_EQ(props(sh, none, 2), " background-color: #FF8000;");
  sh.shading[1] = 0;
  EXPECT_EQ(props(sh, none, 2), "");  // white
  sh.shading[0] = 1;
  sh.shading[3] = 0x00000000;
  EXPECT_EQ(props(sh, none, 2), " background-color: #000000;");

  CharAttrRecord c;
  c.flags = 0x200000 | 0x80000 | 0x1 | 0x2 | 0x20 | 0x10000 | 0x200 | 0x100000;
  c.fontNames[0] = u"Ming 'Li'";
  c.fontSize = 250;
  c.toggles[0] = 1;
  c.toggles[3] = 1;
  c.toggles[9] = 1;
  c.colour = 0x00123456;
  EXPECT_EQ(props(ParaAttrRecord{}, c, 1),
            " font-family: 'Ming \\'Li\\'', 'Arial'; font-size: 12pt; font-weight: bold;\r\n font-style: normal;"
            " text-decoration: underline line-through; text-transform: none;\r\n color: #563412;");  // breaks past 67
  CharAttrRecord v;
  v.flags = 0x10;
  v.verticalOffset = -40;
  EXPECT_EQ(props(ParaAttrRecord{}, v, 1), " vertical-align: sub;");
  // Flavours without style words write nothing.
  EXPECT_EQ(props(a, c, 3, false, 7), "");
  // In the sheet each property ends its line.
  EXPECT_EQ(props(a, none, 2, true), " margin-top: 12pt;\r\n text-align: center;\r\n line-height: 15pt;\r\n");
}

TEST(PagecastCss, StyleBlock) {
  const std::string fixed =
      "P { margin-top:0pt; margin-bottom:0pt;}\r\n"
      "/* In certain situations, Netscape collapses vertical margins which results in unreadable tables. */\r\n"
      "/* Forcing padding into the P tag prevents the collapse. */\r\n"
      "TD P { padding-top:1pt; padding-bottom:1pt;}\r\n"
      "TH P { padding-top:1pt; padding-bottom:1pt;}\r\n";
  std::vector<StyleClass> classes(3);
  classes[0].name = "Normal";
  classes[0].styleId = 1;
  classes[1].name = "Heading-00201";
  classes[1].styleId = 2;
  classes[1].uses = 2;
  classes[1].listVariant = true;
  classes[1].para.flags = 0x1;
  classes[1].para.alignment = 2;
  classes[1].chr.flags = 0x1;
  classes[1].chr.toggles[0] = 1;
  classes[2] = classes[1];
  classes[2].alias = true;
  Harness h(13);
  uint32_t st = 0;
  WriteStyleBlock({}, u"", st, h.s);
  EXPECT_EQ(h.out(), "");
  WriteStyleBlock(classes, u"", st, h.s);
  EXPECT_EQ(h.out(), fixed +
                         ".Heading-00201{\r\n text-align: right;\r\n font-weight: bold;\r\n}\r\n"
                         ".Heading-00201--List{\r\n font-weight: bold;\r\n}\r\n");
  classes[1].uses = 0;
  Harness z(13);
  WriteStyleBlock(classes, u"", st, z.s);
  EXPECT_EQ(z.out(), fixed);
}

}  // namespace
}  // namespace pc::test
