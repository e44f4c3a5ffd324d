// Elements, paragraphs and aligned blocks of the HTML writer in-process: a small page in
// three flavours against its expected text, nested elements that neither reset nor flush,
// the element end without a start, and aligned blocks by flavour.
#include <gtest/gtest.h>

#include <string>

#include "filters/html/pc_blocks.h"
#include "filters/html/tests/writer_harness.h"

namespace pc::test {
namespace {

// Writes a heading, a centred paragraph with bold text and a link, and a right-aligned
// block, then ends the element.
std::string page(uint32_t flavour, uint32_t flags = 0) {
  Harness h(flavour, flags);
  BuildCharTable(h.s, 0x00080101);
  uint32_t st = 0;
  BeginElement(0, h.s);
  BeginParagraph(2, 1, 0, 0, h.s);
  WriteParagraphText("Title", st, h.s);
  EndParagraph(st, h.s);
  BeginParagraph(0, 3, 0, 0, h.s);
  SetCharAttribute(2, 1, h.s);
  WriteParagraphText("a<b", st, h.s);
  SetCharAttribute(2, 0, h.s);
  AddPendingLink(u"x.htm", h.s);
  WriteParagraphText(" c", st, h.s);
  MarkLinkEnd(h.s);
  EndParagraph(st, h.s);
  StartAlignedBlock(2, st, h.s);
  BeginParagraph(0, 1, 0, 0, h.s);
  WriteParagraphText("r", st, h.s);
  EXPECT_EQ(EndElement(h.s), KVX_OK);
  EXPECT_EQ(st, 0u);
  return h.out();
}

TEST(PagecastBlocks, SmallPageByFlavour) {
  EXPECT_EQ(page(11),
            "<H2>Title</H2>\r\n<P ALIGN=\"CENTER\"><B>a&lt;b</B><A HREF=\"x.htm\"> c</A></P>\r\n"
            "<P>r</P>\r\n");
  EXPECT_EQ(page(7),
            "<H2>Title</H2>\r\n<P ALIGN=\"CENTER\"><B>a&lt;b</B><A HREF=\"x.htm\"> c</A></P>\r\n"
            "<DIV ALIGN=\"RIGHT\"><P>r</P>\r\n</DIV>\r\n");
  EXPECT_EQ(page(1),
            "<H2>Title</H2>\r\n<P ALIGN=\"CENTER\"><B>a&lt;b</B><A HREF=\"x.htm\"> c</A></P>\r\n"
            "<P>r</P>\r\n");
  EXPECT_EQ(page(13),
            "<H2>Title</H2>\r\n<P>a&lt;b<A HREF=\"x.htm\"> c</A></P>\r\n"
            "<DIV><P>r</P>\r\n</DIV>\r\n");
}

TEST(PagecastBlocks, ElementsNest) {
  Harness h(11);
  BuildCharTable(h.s, 0x00080101);
  EXPECT_EQ(EndElement(h.s), kStatusNoElement);
  uint32_t st = 0;
  BeginElement(0, h.s);
  WriteParagraphText("ab", st, h.s);
  BeginElement(2, h.s);  // inner flags are not taken
  EXPECT_EQ(h.s.suppressOutput, 0u);
  EXPECT_EQ(h.s.lineLength, 2);
  EXPECT_EQ(EndElement(h.s), KVX_OK);
  EXPECT_EQ(h.s.lineLength, 2);
  EXPECT_EQ(h.out(), "ab");
  EXPECT_EQ(EndElement(h.s), KVX_OK);
  EXPECT_EQ(h.out(), "ab\r\n");
  BeginElement(2, h.s);
  WriteParagraphText("hidden", st, h.s);
  EXPECT_EQ(EndElement(h.s), KVX_OK);
  EXPECT_EQ(h.out(), "ab\r\n");
}

TEST(PagecastBlocks, AlignedBlocks) {
  struct Case {
    uint32_t flavour;
    int alignment;
    const char* expect;
  } cases[] = {
      {1, 3, "<CENTER></CENTER>\r\n"},
      {11, 3, "<CENTER></CENTER>\r\n"},
      {11, 2, ""},
      {13, 3, "<DIV></DIV>\r\n"},  // no ALIGN= in the style-sheet flavour
      {7, 3, "<DIV ALIGN=\"CENTER\"></DIV>\r\n"},
      {7, 1, "<DIV ALIGN=\"LEFT\"></DIV>\r\n"},
      {7, 2, "<DIV ALIGN=\"RIGHT\"></DIV>\r\n"},
      {1, 2, ""},
  };
  for (const Case& c : cases) {
    Harness h(c.flavour);
    uint32_t st = 0;
    StartAlignedBlock(c.alignment, st, h.s);
    EndAlignedBlock(st, h.s);
    EXPECT_EQ(h.out(), c.expect) << c.flavour << " " << c.alignment;
  }
}

}  // namespace
}  // namespace pc::test
