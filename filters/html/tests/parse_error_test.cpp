// Malformed templates: one case per parse status, each giving the error page in place of
// the document with the faulty word marked, the anchor "err", the status and its message
// id (the framework's test strings answer "#<id>#"); the page's layout around an unknown
// keyword on line 3; escaping in the echo and the title; the bounds against hostile
// templates (nesting, size, files that are not regular, work, output).
#include <dlfcn.h>
#include <sys/stat.h>

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

std::string repeat(const std::string& s, int n) {
  std::string o;
  for (int i = 0; i < n; ++i) o += s;
  return o;
}

// The word between the error page's mark tags; empty without a mark.
std::string marked(const std::string& page) {
  const std::string open = "<A NAME=\"err\"></A>";
  size_t at = page.find(open);
  if (at == std::string::npos) return "";
  at += open.size();
  return page.substr(at, page.find("</STRONG></FONT>", at) - at);
}

// Statements nest at most 100 deep, includes counted with them; the 101st is 1558 at its
// command, before the parser's stack is at risk (20,000 nested VELMIFs overflowed it).
TEST_F(PagecastParseErrorTest, NestingDeeperThanOneHundredIs1558) {
  const std::string open = "{VELMIF ELEMENT=Sections}", close = "{/VELMIF}";
  Result ok = run(kDoc, repeat(open, 100) + "x" + repeat(close, 100), {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  EXPECT_EQ(ok.run, KVX_OK);
  EXPECT_EQ(ok.out, "x");
  for (int depth : {101, 20000}) {
    Result r = run(kDoc, repeat(open, depth) + "x" + repeat(close, depth), {word(KVXOPT_CHARSET, KVXCS_CP1252)});
    EXPECT_EQ(r.run, 1558) << depth;
    EXPECT_EQ(marked(r.out), "{VELMIF") << depth;
    // The mark stands at the 101st command: 100 of them come before it.
    size_t at = r.out.find("<A NAME=\"err\"></A>"), n = 0;
    for (size_t p = r.out.find("{VELMIF"); p < at; p = r.out.find("{VELMIF", p + 1)) ++n;
    EXPECT_EQ(n, 100u) << depth;
  }
  // Nesting goes on through an include: 60 levels here and 60 in the included template.
  file("inner.tpt", repeat("{VELMREP ELEMENT=Sections}", 60) + "y" + repeat("{/VELMREP}", 60));
  Result inc = run(kDoc, repeat(open, 60) + "{VELMINCLUDE TEMPLATE=inner.tpt}" + repeat(close, 60),
                   {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  EXPECT_EQ(inc.run, 1558);
  EXPECT_EQ(marked(inc.out), "{VELMREP");
}

// A template that is not a regular file, or larger than 4 MiB, cannot be opened (1564),
// named by the host or included; a device or a FIFO neither spins nor waits.
TEST_F(PagecastParseErrorTest, TemplatesThatAreNotRegularFilesOrTooLargeAre1564) {
  std::string fifo = dir_ / "fifo.tpt";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string big = file("big.tpt", std::string((4u << 20) + 1, 'a'));
  for (const std::string& name : {std::string("/dev/zero"), std::string("/dev/urandom"), fifo, dir_.path(), big}) {
    Result named = run(kDoc, nullptr, {text(KVXOPT_TEMPLATE, name), word(KVXOPT_CHARSET, KVXCS_CP1252)});
    EXPECT_EQ(named.run, 1564) << name;
    EXPECT_EQ(named.out, "") << name;
    Result included = run(kDoc, "a{VELMINCLUDE TEMPLATE=\"" + name + "\"}b", {word(KVXOPT_CHARSET, KVXCS_CP1252)});
    EXPECT_EQ(included.run, 1564) << name;
    EXPECT_NE(included.out.find("<A NAME=\"err\"></A>"), std::string::npos) << name;
  }
  // A template of 4 MiB exactly is read whole.
  Result edge = run(kDoc, std::string((4u << 20) - 1, 'a') + "b", {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  EXPECT_EQ(edge.run, KVX_OK);
  EXPECT_EQ(edge.out.size(), 4u << 20);
}

// The work limit and the output limit, made small through the test hook so that small
// fixtures reach them: repetitions that multiply the work stop with 1550 at the outermost
// VELMREP, and a replay that writes too much stops with 9 (its output cut, never a
// success). Ordinary exports stay within both.
class PagecastBoundsTest : public PagecastTest {
 protected:
  void SetUp() override {
    PagecastTest::SetUp();
    lib_ = ::dlopen(QM_PAGECAST_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib_, nullptr);
    bounds_ = reinterpret_cast<void (*)(uint64_t, uint64_t)>(::dlsym(lib_, "PCTestBounds"));
    ASSERT_NE(bounds_, nullptr);
  }
  void TearDown() override {
    if (bounds_) bounds_(0, 0);
    if (lib_) ::dlclose(lib_);
    PagecastTest::TearDown();
  }
  void* lib_ = nullptr;
  void (*bounds_)(uint64_t, uint64_t) = nullptr;
};

TEST_F(PagecastBoundsTest, RepetitionsPastTheWorkLimitAre1550AtTheOutermostRepetition) {
  std::string sheets;
  for (int i = 0; i < 6; ++i) sheets += "section ss \"S" + std::to_string(i) + "\"\ncolumns 1\ncells 1\ncell\ntext cp1252 \"x\"\n";
  file("leaf.tpt", "<{VELMINS NUMBER=Sheets.Count}>");
  const std::string rep = "{VELMREP ELEMENT=Sheets}", end = "{/VELMREP}";
  // The worst cases found: six repetitions over the sheets around element content, around
  // counting (each Count asks for every sheet), around an include (an entry per pass),
  // around a link (a copy of the statement stack per pass) and around conditions.
  const std::string bodies[] = {
      "<p>{VELMINS ELEMENT=Sheets.Current.Body}</p>",
      "{VELMINS NUMBER=Sheets.Count}",
      "{VELMINCLUDE TEMPLATE=leaf.tpt}",
      "{VELMLINK TEMPLATE=leaf.tpt}",
      "{VELMIF ELEMENT=Sheets.Current.Body}a{VELMELSEIF ELEMENT=Sections.2}b{VELMELSE}c{/VELMIF}",
  };
  bounds_(256 << 10, 0);
  for (const std::string& body : bodies) {
    Result r = run(sheets, "<html>" + repeat(rep, 6) + body + repeat(end, 6), {word(KVXOPT_CHARSET, KVXCS_CP1252)});
    EXPECT_EQ(r.run, 1550) << body;
    EXPECT_EQ(marked(r.out), "{VELMREP") << body;
    EXPECT_NE(r.out.find("<PRE>\r\n&lt;html&gt;<FONT COLOR="), std::string::npos) << body;
  }
  // Two repetitions, and the built-in template, stay well within the same limit.
  Result two = run(sheets, repeat(rep, 2) + bodies[0] + repeat(end, 2), {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  EXPECT_EQ(two.run, KVX_OK);
  EXPECT_EQ(run(sheets, nullptr, {word(KVXOPT_CHARSET, KVXCS_CP1252)}).run, KVX_OK);
}

TEST_F(PagecastBoundsTest, ReplayPastTheOutputLimitIsStatus9) {
  std::string doc = "section wp \"W\"\ntext cp1252 \"" + std::string(2000, 'w') + "\"\npara\n";
  for (int i = 0; i < 5; ++i) doc += "section ss \"S" + std::to_string(i) + "\"\ncolumns 1\ncells 1\ncell\ntext cp1252 \"x\"\n";
  const std::string tpl = repeat("{VELMREP ELEMENT=Sheets}", 3) + "{VELMINS ELEMENT=Sections.1.Body}" +
                          repeat("{/VELMREP}", 3);
  Result whole = run(doc, tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  ASSERT_EQ(whole.run, KVX_OK);
  ASSERT_GT(whole.out.size(), 125u * 2000);
  // 4 KiB + 64 x (template and document) is far less than 125 copies of the body.
  bounds_(0, 4096);
  Result cut = run(doc, tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  EXPECT_EQ(cut.run, 9);
  EXPECT_LT(cut.out.size(), whole.out.size());
}

}  // namespace
}  // namespace pc::test
