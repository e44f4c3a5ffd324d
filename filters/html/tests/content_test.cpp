// The content side through whole exports of chunk scripts: element names, heading modes,
// pragma leaves, notes and page parts, properties, and the body converter's HTML (character
// formatting, tables with spans, links through bookmarks, note marks, counters).
#include "filters/html/tests/pagecast_fixture.h"

namespace pc::test {
namespace {

const std::vector<Option> kCp1252 = {word(KVXOPT_CHARSET, KVXCS_CP1252)};

using PagecastContentTest = PagecastTest;

TEST_F(PagecastContentTest, CharacterFormattingNests) {
  Result r = run("section wp\nitem 8 3 1 0\ntext cp1252 \"it \"\nitem 8 2 1 0\ntext cp1252 \"bold\"\n"
                 "item 8 2 0 0\nitem 8 3 0 0\ntext cp1252 \" plain\"\npara\n",
                 "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out,
            "<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A><I>it </I>\r\n<B><I>bold</I></B> plain</P>\r\n");
}

TEST_F(PagecastContentTest, TablesWithSpans) {
  const std::string cell = "endcell\n";
  auto c = [](const char* text, const char* spans = "") {
    return std::string("cell") + spans + "\ntext cp1252 \"" + text + "\"\nendcell\n";
  };
  struct Case {
    const char* what;
    std::string table;
    const char* want;
  } cases[] = {
      {"a cell over three columns", "table 2 3\n" + c("wide", " 3 1") + "endrow\n" + c("a") + c("b") + c("c") + "endrow\nendtable\n",
       "<TABLE><TR>\r\n<TD COLSPAN=\"3\"><P>wide</P>\r\n</TD></TR>\r\n<TR>\r\n<TD><P>a</P>\r\n</TD>\r\n"
       "<TD><P>b</P>\r\n</TD>\r\n<TD><P>c</P>\r\n</TD></TR>\r\n</TABLE>\r\n"},
      {"a row span in even rows", "table 2 2\n" + c("tall", " 1 2") + c("r") + "endrow\n" + c("s") + "endrow\nendtable\n",
       "<TABLE><TR>\r\n<TD ROWSPAN=\"2\"><P>tall</P>\r\n</TD>\r\n<TD><P>r</P>\r\n</TD></TR>\r\n<TR>\r\n"
       "<TD><P>s</P>\r\n</TD></TR>\r\n</TABLE>\r\n"},
      {"ragged rows get no row spans",
       "table 2 2\n" + c("tall", " 1 2") + c("r") + "endrow\n" + c("s") + c("t") + "endrow\nendtable\n",
       "<TABLE><TR>\r\n<TD><P>tall</P>\r\n</TD>\r\n<TD><P>r</P>\r\n</TD></TR>\r\n<TR>\r\n<TD><P>s</P>\r\n</TD>\r\n"
       "<TD><P>t</P>\r\n</TD></TR>\r\n</TABLE>\r\n"},
      {"a cell past the scanned columns is plain", "table 1 2\n" + c("1") + c("2") + c("extra", " 2 2") + "endrow\nendtable\n",
       "<TABLE><TR>\r\n<TD><P>1</P>\r\n</TD>\r\n<TD><P>2</P>\r\n</TD>\r\n<TD><P>extra</P>\r\n</TD></TR>\r\n</TABLE>\r\n"},
      {"an empty cell", "table 1 1\ncell\nendcell\nendrow\nendtable\n",
       "<TABLE><TR>\r\n<TD>&nbsp;</TD></TR>\r\n</TABLE>\r\n"},
  };
  for (const Case& k : cases) {
    Result r = run("section wp\n" + k.table + "text cp1252 \"after\"\npara\n", "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
    ASSERT_EQ(r.run, KVX_OK) << k.what;
    std::string want = std::string("<A NAME=\"s1content\"></A><A NAME=\"s1body\"></A><A NAME=\"table1\"></A>") +
                       k.want + "<P>after</P>\r\n";
    EXPECT_EQ(r.out, want) << k.what;
  }
}

// A face ends where the source goes back to its own font (font id -1) or to a font whose
// name cannot be written: the text after it, in this and later paragraphs, has no face.
TEST_F(PagecastContentTest, FontFacesEndWithTheFontThatSetThem) {
  // Font 0: "Mono" (range 9, units 0-3); font 1: a name with a quote (units 4-6).
  const std::string fonts =
      "section wp\nrecord 9 4d006f006e006f00610022006200\nrecord 12 0000000000000000"
      "0000b01404000000000000000000000004000000"
      "0000b0140300000000000000\n";
  struct Case {
    const char* what;
    const char* back;  // the item that ends the face
  } cases[] = {{"the document's font", "item 10 0xFFFFFFFF 0 0"}, {"a name markup cannot hold", "item 10 1 0 0"}};
  for (const Case& k : cases) {
    Result r = run(fonts + "item 10 0 0 0\ntext cp1252 \"mono\"\n" + k.back +
                       "\ntext cp1252 \" plain\"\npara\ntext cp1252 \"next\"\npara\n",
                   "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
    ASSERT_EQ(r.run, KVX_OK) << k.what;
    EXPECT_EQ(r.out, "<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A><FONT FACE=\"Mono\">mono</FONT> \r\n"
                     "plain</P>\r\n<P>next</P>\r\n")
        << k.what;
  }
}

TEST_F(PagecastContentTest, LinkThroughABookmarkIntoAnotherFile) {
  file("sec.tpt", "{VELMINS ELEMENT=Sections.Current.Body}");
  // "#mark" as the link's target (range 9, units 0-4); the bookmark stands in section 2.
  Result r = run("section wp\nrecord 9 23006d00610072006b00\ngroup 0x20000001 0 5\ntext cp1252 \"go\"\nend\n"
                 "record 9 23006e006f006e006500\ngroup 0x20000001 5 5\ntext cp1252 \" nowhere\"\nend\npara\n"
                 "section wp\ntext cp1252 \"before\"\npara\nbookmark \"mark\"\nend\ntext cp1252 \"target\"\npara\n",
                 "{VELMREP ELEMENT=Sections}[{VELMLINK ELEMENT=Sections.Current TEMPLATE=sec.tpt}]{/VELMREP}",
                 kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, "[out_1.htm][out_2.htm]");
  // A target that names no bookmark is no link.
  EXPECT_EQ(qm::test::read_file(dir_ / "out_1.htm"),
            "<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A><A HREF=\"out_2.htm#mark\">go</A> \r\nnowhere</P>\r\n");
  EXPECT_EQ(qm::test::read_file(dir_ / "out_2.htm"),
            "<P><A NAME=\"s2body\"></A>before</P>\r\n<P><A NAME=\"mark\"></A>target</P>\r\n");
}

TEST_F(PagecastContentTest, NoteMarksLinkOnlyFromTheRunningText) {
  std::string doc =
      "section wp\ntext cp1252 \"see\"\ngroup 0x80050000 1\ntext cp1252 \"1\"\nend\nitem 0x2C 1 1 0\n"
      "group 0xA00A0000 1 1\ngroup 0x80050000 1\ntext cp1252 \"1\"\nend\ntext cp1252 \" the note\"\npara\nend\n"
      "text cp1252 \" and\"\nitem 0x2C 1 2 0\ngroup 0xA00A0000 2 1\ntext cp1252 \"second\"\npara\nend\npara\n";
  Result r = run(doc,
                 "{VELMINS ELEMENT=Sections.1.Body}|{VELMINS ELEMENT=Sections.1.Footnotes.1.Body}|"
                 "{VELMINS ELEMENT=Sections.1.Footnotes.1.Content}|{VELMINS ELEMENT=Sections.1.Footnotes.2.Reference}",
                 kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out,
            "<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>see<A HREF=\"#FNote1\">1</A> \r\n"
            "and<A HREF=\"#FNote2\"><SUP>2</SUP></A></P>\r\n"
            "|<A NAME=\"FNote1\"></A>\r\n<P>1 the note</P>\r\n"
            "|<A NAME=\"FNote1\"></A>\r\n<P>1 the note</P>\r\n"
            "|<P><A HREF=\"#FNote2\">2</A></P>\r\n");
}

TEST_F(PagecastContentTest, LongBookmarkNamesAreCut) {
  std::string name(200, 'b'), units;
  for (char ch : "#" + name) units += std::string(1, "0123456789abcdef"[ch >> 4]) + "0123456789abcdef"[ch & 15] + "00";
  Result r = run("section wp\nrecord 9 " + units + "\ngroup 0x20000001 0 201\ntext cp1252 \"go\"\nend\npara\n"
                 "bookmark \"" + name + "\"\nend\ntext cp1252 \"here\"\npara\n",
                 "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  std::string cut(127, 'b');
  EXPECT_NE(r.out.find("<A HREF=\"#" + cut + "\">go</A>"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("<A NAME=\"" + cut + "\"></A>here"), std::string::npos) << r.out;
}

TEST_F(PagecastContentTest, AnnotationMarksLinkToTheAnnotationsAnchor) {
  Result r = run("section wp\ntext cp1252 \"see\"\ngroup 0x80060000 7\ntext cp1252 \"[A7]\"\nend\nitem 0x2C 3 7 0\n"
                 "group 0xA00A0000 7 3\ntext cp1252 \"remark\"\npara\nend\npara\n",
                 "{VELMINS ELEMENT=Sections.1.Body}|{VELMINS ELEMENT=Sections.1.Annotations.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, "<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>see<A HREF=\"#ANote1\">[A7]</A></P>\r\n"
                   "|<A NAME=\"ANote1\"></A>\r\n<P>remark</P>\r\n");
}

TEST_F(PagecastContentTest, CountersOfEveryKind) {
  Result r = run("section wp\nfield 10\ntext cp1252 \" one\"\npara\nitem 0x1F 10 0 2\nitem 0x1F 10 0 3\n"
                 "item 0x1F 10 0 0x20003\nitem 0x1F 10 1 1\nitem 0x1F 10 0 0x20002\nitem 0x1F 10 0 8\n"
                 "item 0x1F 10 0 11\npara\n",
                 "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  // Level 0 counts 1 to 7 in its kinds; level 1 starts at 1.
  EXPECT_EQ(r.out, "<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>1 one</P>\r\n<P>BIIIiv1e**</P>\r\n");
}

TEST_F(PagecastContentTest, NumberingFieldsInTextTakeTheirLevelsCounter) {
  // List style 42 (defined in the second section): level 0 upper-case roman. The fields
  // follow text, so they are written as text: the first counts 1, the second carries its
  // own number 5, the third goes on from it.
  Result r = run("section wp\nitem 0x1C 1 42 0\nitem 93 10 0 1\ntext cp1252 \"see \"\nitem 0x1F 10 0 0\npara\n"
                 "item 0x1C 1 42 0\nitem 93 10 0 1\nitem 30 10 1 5\ntext cp1252 \"own \"\nitem 0x1F 10 0 0\npara\n"
                 "item 0x1C 1 42 0\nitem 93 10 0 1\ntext cp1252 \"next \"\nitem 0x1F 10 0 0\npara\n"
                 "section wp\nrecord 3 000000002220000001000000000000000000000000000000050000000000000003000000\n"
                 "group 0xA008001C 42\nitem 29 0 0 0\nend\ngroup 0xA0120000 5\nfield 10\nend\n",
                 "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out,
            "<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>see I</P>\r\n<P>own V</P>\r\n<P>next VI</P>\r\n");
}

TEST_F(PagecastContentTest, PragmaLeavesAndProperties) {
  std::string doc = "section wp\nitem 0x19 0x13B60000 0 0\ntext big5 \"\xE4\xB8\xAD\"\npara\n"
                    "group 0xA0010004 6 0xFE\ntext cp1252 \"The title\"\npara\ntext cp1252 \"two\"\nend\n";
  Result r = run(doc,
                 "{VELMINS ELEMENT=Pragma.Charset}|{VELMIF ELEMENT=Pragma.CSSFile}css{VELMELSE}none{/VELMIF}|"
                 "{VELMINS ELEMENT=Property.Title}|{VELMIF ELEMENT=Property.Author}a{VELMELSE}no author{/VELMIF}|"
                 "{VELMREP ELEMENT=Property.All}<{VELMINS ELEMENT=Property.All.Current.Name}>{/VELMREP}",
                 kCp1252);
  // The document's Big5 set wins over a single-byte output set.
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, "big5|none|The title two|no author|<Title>");
}

TEST_F(PagecastContentTest, OutlineGroupsOfTheSecondFormMoveSectionsToParagraphEnds) {
  Result r = run("section wp\ngroup 0x20160008 1\ntext cp1252 \"Head\"\npara\nend\ntext cp1252 \"a\"\npara\n"
                 "text cp1252 \"b\"\nsection wp\ntext cp1252 \" c\"\npara\n",
                 "[{VELMINS ELEMENT=Sections.1.Body}][{VELMINS ELEMENT=Sections.2.Body}]", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out,
            "[<H1><A NAME=\"h1.1body\"></A>Head</H1>\r\n<P><A NAME=\"h1.1content\"></A>a</P>\r\n]"
            "[<P><A NAME=\"s2body\"></A>b c</P>\r\n]");
}

TEST_F(PagecastContentTest, HeadingContentAnchors) {
  // Paragraph outline levels: One (level 1) is followed at once by Two of the same level,
  // so One has no content anchor; Two's sub-heading Sub is Two's content.
  const char* doc =
      "section wp\nitem 0x1C 1 2 0\ntext cp1252 \"One\"\npara\nitem 0x1C 1 2 0\ntext cp1252 \"Two\"\npara\n"
      "item 0x1C 1 3 0\ntext cp1252 \"Sub\"\npara\ntext cp1252 \"x\"\npara\n";
  Result r = run(doc, "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out.find("h1.1content"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("<A NAME=\"h1.2content\"></A><A NAME=\"h2.1body\"></A>Sub"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("<A NAME=\"h2.1content\"></A>x"), std::string::npos) << r.out;
  // A heading's contents written on their own carry the heading's content anchor.
  Result c = run(doc, "{VELMINS ELEMENT=Sections.1.Body.Contents.Headings.2.Body.Contents}", kCp1252);
  ASSERT_EQ(c.run, KVX_OK);
  EXPECT_NE(c.out.find("<A NAME=\"h1.2content\">"), std::string::npos) << c.out;
}

TEST_F(PagecastContentTest, IndentedParagraphsNestWithoutMarginLeft) {
  // 1440 twips are two levels, 720 one; an unindented paragraph closes them; the levels
  // still open close after the last paragraph.
  Result r = run("section wp\nitem 13 1440 0 1440\ntext cp1252 \"two\"\npara\nitem 13 720 0 720\ntext cp1252 \"one\"\npara\n"
                 "text cp1252 \"none\"\npara\nitem 13 720 0 720\ntext cp1252 \"last\"\npara\n",
                 "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out,
            "<BLOCKQUOTE><BLOCKQUOTE><P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>two</P>\r\n</BLOCKQUOTE>\r\n"
            "<P>one</P>\r\n</BLOCKQUOTE>\r\n<P>none</P>\r\n<BLOCKQUOTE><P>last</P>\r\n</BLOCKQUOTE>\r\n");
}

TEST_F(PagecastContentTest, ParagraphSpacingWithoutMargins) {
  // 480 twips after the first paragraph and 480 before the second: vertical space between.
  Result r = run("section wp\ntext cp1252 \"a\"\nitem 99 0 480 0\npara\nitem 98 0 480 0\ntext cp1252 \"b\"\npara\n",
                 "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out,
            "<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>a</P>&nbsp;<BR></BR>&nbsp;<BR></BR>\r\n"
            "&nbsp;<BR></BR><P>b</P>\r\n");
}

TEST_F(PagecastContentTest, RaisedAndLoweredTextByOffset) {
  // A raised offset, a lowered one inside an attribute scope that ends it, then none.
  Result r = run("section wp\nitem 94 0 60 0\ntext cp1252 \"up\"\ngroup 0x20200008 1\nitem 94 1 60 0\ntext cp1252 \"down\"\nend\n"
                 "text cp1252 \"again\"\nitem 94 0 0 0\ntext cp1252 \" flat\"\npara\n",
                 "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out,
            "<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A><SUP>up</SUP><SUB>down</SUB><SUP>again</SUP> \r\n"
            "flat</P>\r\n");
}

TEST_F(PagecastContentTest, UntitledSectionsGetTheirDefaultName) {
  Result r = run("section wp\npara\ntable 1 1\ncell\ntext cp1252 \"t\"\nendcell\nendrow\nendtable\n",
                 "{VELMINS ELEMENT=Sections.1.Body.Title SUPPRESS=TAGS}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, "Document 1");
  // A slide's title is its first paragraph; a picture has none.
  Result s = run("section pr\ntext cp1252 \"Slide title\"\npara\ntext cp1252 \"point\"\npara\nsection bm\nitem 0 0xFE 0 0\n",
                 "{VELMINS ELEMENT=Sections.1.Body.Title SUPPRESS=TAGS}|{VELMINS ELEMENT=Sections.2.Body.Title SUPPRESS=TAGS}",
                 kCp1252);
  ASSERT_EQ(s.run, KVX_OK);
  EXPECT_EQ(s.out, "Slide title|Image 2");
}

// Character items reach the writer through the attribute decoder: the underline variants
// (word underline 42, 46) are underlines, an automatic colour (a bit 0) is no colour, a
// toggle value other than 0 and 1 is not one, and a size of 0 leaves the size alone.
TEST_F(PagecastContentTest, CharacterItemsGoThroughTheDecoder) {
  struct Case {
    const char* what;
    const char* items;
    const char* want;
  } cases[] = {
      {"word underline", "item 8 42 1 0\ntext cp1252 \"u\"\nitem 8 42 0 0\n", "<U>u</U>"},
      {"an automatic colour", "item 60 1 255 0\ntext cp1252 \"c\"\n", "c"},
      {"a colour", "item 60 0 255 0\ntext cp1252 \"c\"\n", "<FONT COLOR=\"#FF0000\">c</FONT>"},
      {"a toggle value of 2", "item 8 2 2 0\ntext cp1252 \"b\"\n", "b"},
  };
  for (const Case& k : cases) {
    Result r = run(std::string("section wp\n") + k.items + "para\n", "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
    ASSERT_EQ(r.run, KVX_OK) << k.what;
    EXPECT_EQ(r.out, std::string("<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>") + k.want + "</P>\r\n") << k.what;
  }
}

// Bordered paragraphs where the flavour has no border styles: one rule above a group of
// like paragraphs and one below it, the one below also at the end of the element.
TEST_F(PagecastContentTest, BorderedParagraphGroupsGetRules) {
  // A border record (range 3): top and bottom 30 twips wide, no spacing.
  std::string record(26 * 8, '0');
  record.replace(1 * 8, 2, "1E");
  record.replace(11 * 8, 2, "1E");
  const std::string bordered = "item 58 1 0 0\n";
  struct Case {
    const char* what;
    std::string doc;
    const char* want;
  } cases[] = {
      {"a group of two, then a plain paragraph",
       bordered + "text cp1252 \"a\"\npara\n" + bordered + "text cp1252 \"b\"\npara\ntext cp1252 \"c\"\npara\n",
       "<HR SIZE=\"2\"></HR><P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>a</P>\r\n<P>b</P>\r\n"
       "<HR SIZE=\"2\"></HR><P>c</P>\r\n"},
      {"the last paragraph bordered", "text cp1252 \"a\"\npara\n" + bordered + "text cp1252 \"b\"\npara\n",
       "<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>a</P>\r\n<HR SIZE=\"2\"></HR><P>b</P>\r\n"
       "<HR SIZE=\"2\"></HR>\r\n"},
  };
  for (const Case& k : cases) {
    Result r = run("section wp\nrecord 3 " + record + "\n" + k.doc, "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
    ASSERT_EQ(r.run, KVX_OK) << k.what;
    EXPECT_EQ(r.out, k.want) << k.what;
  }
}

// A list item whose level's marker is a coloured text: the item's own text keeps the
// paragraph's formatting.
TEST_F(PagecastContentTest, ListMarkerFormattingStaysOnTheMarker) {
  // List style 42: its level 0 record (the same bytes as the style record) has a bullet
  // and marker group 5, which holds a red text marker.
  Result r = run("section wp\nitem 0x1C 1 42 0\nitem 93 10 0 1\nitem 0x1F 10 0 0\ntext cp1252 \"item\"\npara\n"
                 "text cp1252 \"after\"\npara\n"
                 "section wp\nrecord 3 000000002220000001000000000000000000000000000000050000000000000003000000\n"
                 "group 0xA008001C 42\nitem 29 0 0 0\nend\ngroup 0xA0120000 5\nitem 60 0 255 0\ntext cp1252 \"-\"\nend\n",
                 "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, "<UL TYPE=\"DISC\"><LI><P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>item</P>\r\n</LI></UL>\r\n"
                   "<P>after</P>\r\n");
}

// An attribute scope's colour, size and bold end with the scope, in the font tag of the
// default flavour as in the spans of the inline one.
TEST_F(PagecastContentTest, AttributeScopesEndTheirColourAndSize) {
  const char* doc = "section wp\ngroup 0x20200008 1\nitem 60 0 255 0\nitem 9 480 0 0\nitem 8 2 1 0\ntext cp1252 \"in\"\n"
                    "end\ntext cp1252 \"out\"\npara\n";
  const std::string start = "<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>";
  Result r = run(doc, "{VELMINS ELEMENT=Sections.1.Body}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, start + "<FONT COLOR=\"#FF0000\" SIZE=\"6\"><B>in</B></FONT>out</P>\r\n");
  Result c = run(doc, "{VELMINS ELEMENT=Sections.1.Body}", {word(KVXOPT_CHARSET, KVXCS_CP1252), word(7, 10)});
  ASSERT_EQ(c.run, KVX_OK);
  EXPECT_EQ(c.out, start + "<SPAN STYLE=\" font-size: 24pt;\r\n font-weight: bold; color: #FF0000;\">in</SPAN>out</P>\r\n");
}

}  // namespace
}  // namespace pc::test
