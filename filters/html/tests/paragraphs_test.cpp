// Paragraph details of the HTML writer in-process: a tab before the first text widens the
// first-line indentation, groups of bordered paragraphs get one rule above and one below
// in flavours without border styles, the table opening of the CSS flavours, the stack of
// plain cell starts, and the text set chosen by SetTextCharset with and without a set name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/html/pc_blocks.h"
#include "filters/html/pc_structure.h"
#include "filters/html/tests/writer_harness.h"

namespace pc::test {
namespace {

TEST(PagecastParagraphs, TabBeforeTheFirstTextIndentsTheFirstLine) {
  // Generic: F4 writes the indentation as non-breaking spaces (720 x 2 / 240 = 6 per tab).
  Harness h(11);
  BuildCharTable(h.s, 0x00080101);
  uint32_t st = 0;
  BeginElement(0, h.s);
  BeginParagraph(0, 1, 0, 0, h.s);
  WriteTextItem(1, st, h.s);
  WriteTextItem(1, st, h.s);
  EXPECT_EQ(h.out(), "");
  EXPECT_EQ(h.s.firstIndent, 1440u);
  WriteParagraphText("a", st, h.s);
  std::string nbsp;
  for (int i = 0; i < 12; ++i) nbsp += "&nbsp;";
  EXPECT_EQ(h.out(), "<P>" + nbsp + "a");
  // After the first text a tab is one non-breaking space (the line, past 67 columns,
  // breaks before it, as the first tab allowed).
  WriteTextItem(1, st, h.s);
  EXPECT_EQ(h.out(), "<P>" + nbsp + "a\r\n&nbsp;");
  EXPECT_EQ(EndElement(h.s), KVX_OK);
  EXPECT_EQ(h.s.firstIndent, 0u);
  // A flavour with "text-indent:" leaves the indentation to the style.
  Harness css(13);
  BuildCharTable(css.s, 0x00080101);
  BeginElement(0, css.s);
  BeginParagraph(0, 1, 0, 0, css.s);
  WriteTextItem(1, st, css.s);
  WriteParagraphText("a", st, css.s);
  EXPECT_EQ(css.out(), "<P>a");
  EXPECT_EQ(st, 0u);
}

ParaAttrRecord bordered(uint32_t top, uint32_t bottom) {
  ParaAttrRecord p;
  p.flags = 0x100 | 0x4;
  p.borders[1] = top;
  p.borders[11] = bottom;
  p.borders[14] = 0;
  p.spaceAfter = 0;
  return p;
}

TEST(PagecastParagraphs, BorderedParagraphGroupsGetOneRuleAboveAndBelow) {
  Harness h(11);
  BuildCharTable(h.s, 0x00080101);
  uint32_t st = 0;
  BorderGroup g;
  auto para = [&](const ParaAttrRecord& p, bool same, const char* text) {
    BorderGroupParagraph(p, same, st, h.s, g);
    BeginParagraph(0, 1, 0, 0, h.s);
    WriteParagraphText(text, st, h.s);
    EndParagraph(st, h.s);
  };
  para(bordered(30, 30), false, "a");
  para(bordered(30, 30), true, "b");
  para(bordered(30, 30), true, "c");
  para(ParaAttrRecord{}, false, "d");
  para(bordered(60, 0), false, "e");
  BorderGroupEnd(st, h.s, g);
  EXPECT_EQ(h.out(),
            "<HR SIZE=\"2\"></HR><P>a</P>\r\n<P>b</P>\r\n<P>c</P>\r\n<HR SIZE=\"2\"></HR><P>d</P>\r\n"
            "<HR SIZE=\"3\"></HR><P>e</P>\r\n");
  EXPECT_EQ(st, 0u);
  // A side whose style code is 1 draws nothing; flavours with border styles write none.
  ParaAttrRecord none = bordered(30, 0);
  none.borders[3] = 1;
  Harness n(11);
  BorderGroup g2;
  BorderGroupParagraph(none, false, st, n.s, g2);
  BorderGroupEnd(st, n.s, g2);
  EXPECT_EQ(n.out(), "");
  Harness c(13);
  BorderGroup g3;
  BorderGroupParagraph(bordered(30, 30), false, st, c.s, g3);
  BorderGroupEnd(st, c.s, g3);
  EXPECT_EQ(c.out(), "");
}

TEST(PagecastParagraphs, CssFlavourTableOpeningAndCellStarts) {
  struct Case {
    int outer;
    const char* opening;
  } cases[] = {
      {0, "<TABLE STYLE=\" border-style: none;\">\r\n"},
      {1, "<TABLE BORDER=\"1\" CELLSPACING=\"0\" STYLE=\" border-style: solid; border-width: 2px;\">\r\n"},
      {2, "<TABLE BORDER=\"1\" STYLE=\" border-style: double; border-width: 2px;\">\r\n"},
  };
  for (const Case& k : cases) {
    Harness h(13);
    BuildCharTable(h.s, 0x00080101);
    uint32_t st = 0;
    std::vector<TableState> stack;
    TableState t;
    t.kind = 5;
    t.outerLine = k.outer;
    t.outerThickness = 2;
    t.columns = {1440};
    OpenTable(t, st, h.s, stack);
    EXPECT_EQ(h.out(), k.opening) << k.outer;
    OpenRow(0, st, h.s, stack.back());
    CellSpec header;
    header.header = true;
    OpenCell(header, false, st, h.s, stack.back());
    EXPECT_TRUE(stack.back().cellStarts.empty());  // a TH is not a plain cell
    CloseCell(false, st, h.s, stack.back());
    CellSpec plain;
    OpenCell(plain, false, st, h.s, stack.back());
    EXPECT_EQ(stack.back().cellStarts, std::vector<uint32_t>{0});
    CloseCell(true, st, h.s, stack.back());
    EXPECT_TRUE(stack.back().cellStarts.empty());
    CloseRow(st, h.s, stack.back());
    CloseTable(st, h.s, stack);
    EXPECT_TRUE(stack.empty());
    EXPECT_EQ(st, 0u);
  }
}

TEST(PagecastParagraphs, TextSetByIdOrName) {
  Harness h(11);
  h.s.outputCharset = KVXCS_CP1252;
  h.s.documentCharset = KVXCS_BIG5;
  ASSERT_EQ(SetTextCharset(KVXCS_UNICODE, h.s), KVX_OK);
  EXPECT_EQ(h.s.textCharset, uint32_t(KVXCS_UNICODE));
  // The generic ids stand for the document's set, or for the named set when there is one.
  for (uint32_t generic : {0u, 0x00010100u, 0x00020100u, 0x00030100u}) {
    ASSERT_EQ(SetTextCharset(generic, h.s), KVX_OK);
    EXPECT_EQ(h.s.textCharset, UTGetUnknownCharSet(KVXCS_BIG5)) << generic;
  }
  h.s.charsetName = u"windows-1252";
  ASSERT_EQ(SetTextCharset(0, h.s), KVX_OK);
  EXPECT_EQ(h.s.textCharset, uint32_t(KVXCS_CP1252));
  // An unknown name falls back to the document's set.
  h.s.charsetName = u"no-such-set";
  ASSERT_EQ(SetTextCharset(0x00030100, h.s), KVX_OK);
  EXPECT_EQ(h.s.textCharset, UTGetUnknownCharSet(KVXCS_BIG5));
}

}  // namespace
}  // namespace pc::test
