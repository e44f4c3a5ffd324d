// Malformed templates: one case per parse status, each giving the error page in place of
// the document with the faulty word marked, the anchor "err", the status and its message
// id (the framework's test strings answer "#<id>#"); the page's layout around an unknown
// keyword on line 3; escaping in the echo and the title.
#include "filters/html/tests/pagecast_fixture.h"

namespace pc::test {
namespace {

const char* const kDoc = "section wp \"One\"\ntext cp1252 \"a\"\npara\nsection ss\n";

struct Case {
  const char* tpl;
  KVXSTATUS status;
  const char* marked;  // the word between the mark tags
};

const Case kCases[] = {
    {"x{VELMINS ELEMENT=Nothing}", 1537, "Nothing"},
    {"x{VELMINS ELEMENT=Sections", 1537, "Sections"},
    {"{VELMINS ELEMENT=Sections.-1.Body}", 1538, "-1"},
    {"{VELMINS ELEMENT=Sections.1.Body}{/VELMINS x}", 1540, "x"},
    {"{VELMINS ELEMENT Sections}", 1542, "ELEMENT"},
    {"{VELMIF ELEMENT=Sections}a{/VELMIF x}", 1543, "x"},
    {"{VELMIF ELEMENT=Pragma.Charset VALUE=WP}a{/VELMIF}", 1545, "WP"},
    {"{VELMIF VALUE=WP}a{/VELMIF}", 1546, "WP"},
    {"{VELMLINK ELEMENT=Nothing}", 1554, "Nothing"},
    {"{VELMINS ELEMENT=Sections WIDTH=abc}", 1555, "abc"},
    {"{VELMINC ELEMENT=Sections.2}", 1559, "2"},
    {"{VELMINCLUDE TEMPLATE=missing.tpt}", 1564, "tpt"},
    {"{VELMREP ELEMENT=Sections}{VELMIF ELEMENT=Sections}x{/VELMREP}", 1566, "{VELMREP"},
    {"{VELMIF ELEMENT=Sections}a{VELMELSE}b{VELMELSE}c{/VELMIF}", 1567, "{VELMELSE"},
    {"ab{VELMIGNORE}cd", 1568, "{VELMIGNORE"},
    {"{VELMREP ELEMENT=Pragma.Charset}x{/VELMREP}", 1569, "Charset"},
    {"{VELMREP ELEMENT=Sections.2}x{/VELMREP}", 1570, "2"},
    {"{VELMIF ELEMENT=Sections.Count}x{/VELMIF}", 1571, "Count"},
    {"{VELMINS ELEMENT=}", 1573, "}"},
    {"line 1\r\n{VELMFOO x}", 1574, "{VELMFOO"},
    {"{VELMIF ELEMENT=Sections}abc", 1575, "{VELMIF"},
    {"a{/VELMIF}", 1575, "/VELMIF"},
    {"{VELMIF ELEMENT=Sections.Current.Type VALUE=XX}a{/VELMIF}", 1576, "{VELMIF"},
    {"{VELMIF ELEMENT=Sections.Current.Type}a{/VELMIF}", 1577, "Type"},
    {"{VELMIF ELEMENT=Sections WIDTH=3}a{/VELMIF}", 1578, "WIDTH"},
    {"{VELMINCLUDE TEMPLATE=a.tpt WIDTH=3}", 1579, "WIDTH"},
    {"{VELMINCLUDE TOP}", 1580, "TOP"},
    {"{VELMINS NUMBER=Sections.Count x}", 1581, "x"},
    {"a{VELMELSE}b", 1582, "VELMELSE"},
    {"{VELMIF ELEMENT=Sections CONDITION=MAYBE}a{/VELMIF}", 1583, "MAYBE"},
    {"{VELMINS ELEMENT=Sections.Body.Contents.Headings.Headings.Headings.Headings.Headings.Headings.Headings."
     "Headings.Headings.Headings.Headings.Headings.Headings.Headings.Headings.Headings}",
     1585, "Headings"},
    {"{VELMIF ELEMENT=Sections.Current.Type VALUE=}a{/VELMIF}", 1586, "{VELMIF"},
    {"a{VELMELSEIF ELEMENT=Sections}b", 1588, "VELMELSEIF"},
};

uint32_t message_id(KVXSTATUS s) {
  if (s <= 1538) return 0x142CC + uint32_t(s - 1536);
  if (s <= 1547) return 0x142D0 + uint32_t(s - 1540);
  if (s <= 1556) return 0x142D9 + uint32_t(s - 1553);
  return 0x142DD + uint32_t(s - 1558);
}

std::string hex_id(uint32_t id) {
  char b[16];
  std::snprintf(b, sizeof b, "#%X#", unsigned(id));
  return b;
}

using PagecastParseErrorTest = PagecastTest;

TEST_F(PagecastParseErrorTest, EveryStatusGivesItsErrorPage) {
  KVXTestStringMode(1);
  for (const Case& c : kCases) {
    Result r = run(kDoc, c.tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252)});
    EXPECT_EQ(r.open, KVX_OK);
    EXPECT_EQ(r.run, c.status) << c.tpl;
    EXPECT_EQ(r.out.rfind("<HTML>\r\n<HEAD>\r\n<TITLE>\r\n#14330#", 0), 0u) << c.tpl;
    const std::string open = "<FONT COLOR=\"#FF0000\"><STRONG><A NAME=\"err\"></A>";
    size_t at = r.out.find(open);
    ASSERT_NE(at, std::string::npos) << c.tpl;
    at += open.size();
    EXPECT_EQ(r.out.substr(at, r.out.find("</STRONG></FONT>", at) - at), c.marked) << c.tpl;
    std::string line = "<STRONG>\r\n#14332#" + std::to_string(c.status) + hex_id(message_id(c.status)) + "\r\n</STRONG>";
    EXPECT_NE(r.out.find(line), std::string::npos) << c.tpl << "\n" << r.out;
    EXPECT_EQ(r.out.size() - r.out.rfind("</BODY>\r\n</HTML>\r\n"), 18u) << c.tpl;
  }
}

TEST_F(PagecastParseErrorTest, UnknownKeywordOnLineThreeSplitsTheEchoAfterThatLine) {
  std::string tpl = "<p>one & \"two\"</p>\r\nline 2\r\nx {VELMFOO ELEMENT=Sections}\r\nline 4\r\n";
  Result r = run(kDoc, tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  EXPECT_EQ(r.run, 1574);
  std::string t = dir_ / "t.tpt";
  std::string expected =
      "<HTML>\r\n<HEAD>\r\n<TITLE>\r\nTemplate error: " + t + "</TITLE>\r\n</HEAD>\r\n<BODY>\r\n<H2>\r\n"
      "Errors in template " + t + "\r\n</H2>\r\n<P>\r\nThe export template could not be read.</P>\r\n"
      "The template, with the error marked:<BLOCKQUOTE>\r\n<PRE>\r\n"
      "&lt;p&gt;one &amp; &quot;two&quot;&lt;/p&gt;\r\nline 2\r\nx "
      "<FONT COLOR=\"#FF0000\"><STRONG><A NAME=\"err\"></A>{VELMFOO</STRONG></FONT> ELEMENT=Sections}\r\n"
      "\r\n</PRE>\r\n<P>\r\n<FONT COLOR=\"#FF0000\">\r\n<STRONG>\r\nError 1574: template error 1574\r\n"
      "</STRONG>\r\nThe export stopped at this point.\r\n</FONT>\r\n</P>\r\n<PRE>\r\nline 4\r\n\r\n</PRE>\r\n"
      "</BLOCKQUOTE>\r\n</BODY>\r\n</HTML>\r\n";
  EXPECT_EQ(r.out, expected);
}

TEST_F(PagecastParseErrorTest, PageInSixteenBitOutputStartsWithItsMark) {
  Result r = run(kDoc, "{VELMFOO}", {word(KVXOPT_CHARSET, KVXCS_UNICODE), word(KVXOPT_CHARBYTEORDER, 2)});
  EXPECT_EQ(r.run, 1574);
  ASSERT_GE(r.out.size(), 4u);
  EXPECT_EQ(r.out.substr(0, 4), std::string("\xFF\xFE<\0", 4));
}

TEST_F(PagecastParseErrorTest, LongWordInsideACommandIs1537) {
  Result r = run(kDoc, "{VELMINS ELEMENT=" + std::string(3000, 'x') + "}", {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  EXPECT_EQ(r.run, 1537);
}

TEST_F(PagecastParseErrorTest, TemplateNameIsEscapedInTitleAndHeading) {
  std::string path = file("a&<b>.tpt", "{VELMFOO}");
  Result r = run(kDoc, nullptr, {text(KVXOPT_TEMPLATE, path), word(KVXOPT_CHARSET, KVXCS_CP1252)});
  EXPECT_EQ(r.run, 1574);
  EXPECT_NE(r.out.find("Template error: " + dir_.path() + "a&amp;&lt;b&gt;.tpt</TITLE>"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("<b>"), std::string::npos);
}

TEST_F(PagecastParseErrorTest, IncludesDeeperThanThirtyTwoAre1564) {
  for (int i = 0; i < 40; ++i)
    file("deep" + std::to_string(i) + ".tpt", "{VELMINCLUDE TEMPLATE=deep" + std::to_string(i + 1) + ".tpt}");
  file("deep40.tpt", "bottom");
  Result r = run(kDoc, "{VELMINCLUDE TEMPLATE=deep0.tpt}", {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  EXPECT_EQ(r.run, 1564);
  Result shallow = run(kDoc, "{VELMINCLUDE TEMPLATE=deep20.tpt}", {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  EXPECT_EQ(shallow.run, KVX_OK);
  EXPECT_EQ(shallow.out, "bottom");
}

TEST_F(PagecastParseErrorTest, TemplateThatIncludesItselfIs1564) {
  file("self.tpt", "a{VELMINCLUDE TEMPLATE=self.tpt}b");
  file("ring1.tpt", "{VELMINCLUDE TEMPLATE=ring2.tpt}");
  file("ring2.tpt", "{VELMINCLUDE TEMPLATE=ring1.tpt}");
  for (const char* tpl : {"{VELMINCLUDE TEMPLATE=self.tpt}", "{VELMINCLUDE TEMPLATE=ring1.tpt}",
                          "{VELMLINK TEMPLATE=self.tpt}"}) {
    Result r = run(kDoc, tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252)});
    EXPECT_EQ(r.run, 1564) << tpl;
    EXPECT_NE(r.out.find("<A NAME=\"err\"></A>"), std::string::npos) << tpl;
  }
}

}  // namespace
}  // namespace pc::test
