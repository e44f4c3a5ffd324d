// The style sheet through whole exports: a CSS flavour writes its style block into a file
// of its own that Pragma.CSSFile links (UTF-8 in place of 16-bit output in F15 flavours,
// else in the output form with its mark), a template that inserts bodies without the link
// is 1589, flavours without classes have no style-sheet file. Also here: the template's
// name in the file requests, 16-bit templates naming templates and host elements beyond
// Latin-1. tinycss2 (python3-tinycss2) checks the sheets.
#include "filters/html/tests/pagecast_fixture.h"

namespace pc::test {
namespace {

const char* const kDoc = "section wp \"One\"\ntext cp1252 \"first\"\npara\n";

using PagecastStyleSheetTest = PagecastTest;

// 16-bit little-endian template bytes with their mark.
std::string le16(const std::u16string& text) {
  std::string b = "\xFF\xFE";
  for (char16_t c : text) {
    b.push_back(char(c & 0xFF));
    b.push_back(char(c >> 8));
  }
  return b;
}

// Runs the system's python3, where Debian's python3-tinycss2 lives.
std::string debian_python(const std::string& dir, const std::string& code) {
  qm::test::write_file(dir + "oracle.py", code);
  std::string out;
  EXPECT_EQ(qm::test::command_output("/usr/bin/python3 " + dir + "oracle.py", out), 0) << out;
  return out;
}

// tinycss2's reading of a style sheet: one line per rule, "prelude|name:value;..." with
// the values' tokens serialised, or "ERROR ..." for each parse error.
std::string css_rules(const std::string& dir, const std::string& css_path) {
  return debian_python(dir,
                "import tinycss2\n"
                "def prelude(tokens):\n"
                "    return ''.join(t.value if t.type == 'ident' else tinycss2.serialize([t]) for t in tokens).strip()\n"
                "src = open('" + css_path + "', encoding='utf-8').read()\n"
                "for r in tinycss2.parse_stylesheet(src, skip_comments=True, skip_whitespace=True):\n"
                "    if r.type == 'error':\n"
                "        print('ERROR', r.message); continue\n"
                "    decls = tinycss2.parse_declaration_list(r.content, skip_comments=True, skip_whitespace=True)\n"
                "    out = []\n"
                "    for d in decls:\n"
                "        if d.type == 'error': out.append('ERROR ' + d.message); continue\n"
                "        out.append(d.lower_name + ':' + tinycss2.serialize(d.value).strip())\n"
                "    print(prelude(r.prelude) + '|' + ';'.join(out))\n");
}

const char* const kFixedRules =
    "P|margin-top:0pt;margin-bottom:0pt\n"
    "TD P|padding-top:1pt;padding-bottom:1pt\n"
    "TH P|padding-top:1pt;padding-bottom:1pt\n";

TEST_F(PagecastStyleSheetTest, CssFlavourLinksItsStyleSheetFile) {
  std::string tpl = "<LINK HREF=\"{VELMINS ELEMENT=Pragma.CSSFile}\">{VELMINS ELEMENT=Sections.1.Body}";
  Result r = run(kDoc, tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_FLAVOR, 2)});
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out.rfind("<LINK HREF=\"out_1.css\">", 0), 0u) << r.out;
  std::string css = qm::test::read_file(dir_ / "out_1.css");
  EXPECT_EQ(css.rfind("P { margin-top:0pt; margin-bottom:0pt;}\r\n", 0), 0u) << css;
  EXPECT_EQ(css_rules(dir_.path(), dir_ / "out_1.css"), kFixedRules);
  EXPECT_NE(host_.log.find("256 kind 513 number 1 state 0\n257 kind 513 number 1 state 3\n"), std::string::npos)
      << host_.log;
}

// A style record of range 3 for a chunk script: kind, two zero words, parent, three zero
// words (u32 little-endian).
std::string style_record(uint32_t kind, uint32_t parent) {
  std::string hex = "record 3 ";
  for (uint32_t v : {kind, 0u, 0u, parent, 0u, 0u, 0u}) {
    char b[9];
    std::snprintf(b, sizeof b, "%02x%02x%02x%02x", v & 0xFF, v >> 8 & 0xFF, v >> 16 & 0xFF, v >> 24);
    hex += b;
  }
  return hex + "\n";
}

// Style 11: a paragraph style, centred with 12pt before, bold, 16pt, blue. Style 12: a
// paragraph style under 11 with an indent of half an inch. Style 13: a character style,
// italic. Paragraphs of style 1, of style 2 with its own right alignment, of no style
// with an indent of one inch, and one with a run of style 13.
const std::string kStyledDoc =
    "section wp\n" + style_record(1, 0xFFFFFFFF) + style_record(1, 11) + style_record(0, 0xFFFFFFFF) +
    "group 0xA008001C 11 0\nitem 12 3 0 0\nitem 98 0 240 0\nitem 8 2 1 0\nitem 9 320 0 0\nitem 60 0 0xFF0000 0\nend\n"
    "group 0xA008001C 12 28\nitem 13 720 0 720\nend\n"
    "group 0xA008001C 13 56\nitem 8 3 1 0\nend\n"
    "item 28 0 11 0\ntext cp1252 \"Title\"\npara\n"
    "item 28 0 12 0\nitem 12 2 0 0\ntext cp1252 \"Nested\"\npara\n"
    "item 13 1440 0 1440\ntext cp1252 \"Indented\"\npara\n"
    "text cp1252 \"plain \"\nitem 28 0 13 0\ntext cp1252 \"styled\"\npara\n";

// Balanced tags and the visible text, by Python's html.parser.
std::string parse_page(const std::string& dir, const std::string& page) {
  qm::test::write_file(dir + "page.htm", page);
  return python(dir,
                "import html.parser\n"
                "class P(html.parser.HTMLParser):\n"
                "  def __init__(s):\n"
                "    super().__init__(convert_charrefs=True); s.stack=[]; s.text=''; s.bad=''\n"
                "  def handle_starttag(s, t, a): s.stack.append(t)\n"
                "  def handle_endtag(s, t):\n"
                "    if not s.stack or s.stack.pop() != t: s.bad = s.bad or 'mismatch ' + t\n"
                "  def handle_data(s, d): s.text += d\n"
                "p = P(); p.feed(open('" + dir + "page.htm', encoding='latin-1').read()); p.close()\n"
                "if p.stack: p.bad = p.bad or 'open ' + p.stack[-1]\n"
                "print(p.bad or 'ok', ' '.join(p.text.split()))\n");
}

TEST_F(PagecastStyleSheetTest, StyledDocumentWritesClassRulesAndInlineStyles) {
  std::string tpl = "<LINK HREF=\"{VELMINS ELEMENT=Pragma.CSSFile}\"></LINK>{VELMINS ELEMENT=Sections.1.Body}";
  Result r = run(kStyledDoc, tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_FLAVOR, 2)});
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(parse_page(dir_.path(), r.out), "ok Title Nested Indented plain styled\n") << r.out;
  // The paragraphs carry their style's class chain; their own values go inline.
  EXPECT_NE(r.out.find("<P CLASS=\"UnnamedStyle1\">"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("<P CLASS=\"UnnamedStyle1\"><DIV CLASS=\"UnnamedStyle2\" STYLE=\" text-align: right"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Nested</DIV></P>"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("<P STYLE=\" margin-left: 72pt"), std::string::npos) << r.out;
  std::string rules = css_rules(dir_.path(), dir_ / "out_1.css");
  EXPECT_EQ(rules.find("ERROR"), std::string::npos) << rules;
  // The character style's italic run in a span of its own.
  EXPECT_NE(r.out.find("<P>plain <SPAN STYLE=\" font-style: italic;\">styled</SPAN></P>"), std::string::npos) << r.out;
  EXPECT_NE(rules.find(".UnnamedStyle1|margin-top:12pt;text-align:center;font-size:16pt;font-weight:bold;"
                       "color:#0000FF\n"),
            std::string::npos)
      << rules;
  EXPECT_NE(rules.find(".UnnamedStyle2|"), std::string::npos) << rules;
  EXPECT_NE(rules.find(".UnnamedStyle3|font-style:italic"), std::string::npos) << rules;
  // The inline STYLE= values parse as declarations too.
  std::string inline_css;
  for (size_t a = r.out.find("STYLE=\""); a != std::string::npos; a = r.out.find("STYLE=\"", a)) {
    a += 7;
    inline_css += "x {" + r.out.substr(a, r.out.find('"', a) - a) + "}\n";
  }
  ASSERT_FALSE(inline_css.empty());
  qm::test::write_file(dir_ / "inline.css", inline_css);
  EXPECT_EQ(css_rules(dir_.path(), dir_ / "inline.css").find("ERROR"), std::string::npos) << inline_css;
  // Inline only (flavour 10): the style's paragraph values on the paragraph, its
  // character values in the spans of its runs.
  Result inl = run(kStyledDoc, "{VELMINS ELEMENT=Sections.1.Body}", {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_FLAVOR, 10)});
  ASSERT_EQ(inl.run, KVX_OK);
  EXPECT_EQ(parse_page(dir_.path(), inl.out), "ok Title Nested Indented plain styled\n") << inl.out;
  EXPECT_EQ(inl.out.find("CLASS="), std::string::npos) << inl.out;
  EXPECT_NE(inl.out.find("<P STYLE=\" margin-top: 12pt; text-align: center;\">"), std::string::npos) << inl.out;
  EXPECT_NE(inl.out.find("margin-left: 36pt"), std::string::npos) << inl.out;
  EXPECT_NE(inl.out.find("<SPAN STYLE=\" font-size: 16pt;\r\n font-weight: bold; color: #0000FF;\">Title</SPAN>"),
            std::string::npos)
      << inl.out;
  // Flavours without classes or paragraph styles (docpress's 0 among them) write no class
  // and no STYLE=.
  for (uint32_t flavour : {0u, 1u}) {
    Result plain = run(kStyledDoc, "{VELMINS ELEMENT=Sections.1.Body}",
                       {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_FLAVOR, flavour)});
    ASSERT_EQ(plain.run, KVX_OK);
    EXPECT_EQ(plain.out.find("CLASS="), std::string::npos) << plain.out;
    EXPECT_EQ(plain.out.find("STYLE="), std::string::npos) << plain.out;
    EXPECT_EQ(parse_page(dir_.path(), plain.out), "ok Title Nested Indented plain styled\n") << plain.out;
    // The alignment is the writer's: the style's centre, the paragraph's own right.
    EXPECT_NE(plain.out.find("<P ALIGN=\"CENTER\">"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("<P ALIGN=\"RIGHT\">Nested"), std::string::npos) << plain.out;
  }
}

// Paragraph styles start afresh in each cell; a character style holds until the next
// style application; spans and class chains close inside their cells.
TEST_F(PagecastStyleSheetTest, StylesInTableCells) {
  const std::string doc =
      "section wp\n" + style_record(1, 0xFFFFFFFF) + style_record(1, 11) + style_record(0, 0xFFFFFFFF) +
      "group 0xA008001C 11 0\nitem 12 3 0 0\nend\n"
      "group 0xA008001C 12 28\nitem 13 720 0 720\nend\n"
      "group 0xA008001C 13 56\nitem 8 3 1 0\nitem 60 0 0x00FF00 0\nend\n"
      "table 2 2\ncell\nitem 28 0 12 0\ntext cp1252 \"in a cell\"\nendcell\n"
      "cell\nitem 8 2 1 0\ntext cp1252 \"bold \"\nitem 28 0 13 0\ntext cp1252 \"styled\"\nendcell\nendrow\n"
      "cell\nitem 28 0 11 0\nitem 12 2 0 0\ntext cp1252 \"right\"\npara\ntext cp1252 \"two\"\nendcell\n"
      "cell\ntext cp1252 \"x\"\nendcell\nendrow\nendtable\n"
      "item 28 0 12 0\nitem 8 2 0 0\ntext cp1252 \"after\"\npara\n";
  std::string tpl = "<LINK HREF=\"{VELMINS ELEMENT=Pragma.CSSFile}\"></LINK>{VELMINS ELEMENT=Sections.1.Body}";
  Result r = run(doc, tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_FLAVOR, 2)});
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(parse_page(dir_.path(), r.out), "ok in a cell bold styled right two x after\n") << r.out;
  std::string flat;
  for (char ch : r.out)
    if (ch != '\r' && ch != '\n') flat += ch;
  for (const char* want : {
           "<TD><P CLASS=\"UnnamedStyle1\"><DIV CLASS=\"UnnamedStyle2\">in a cell</DIV></P>",
           "<SPAN STYLE=\" font-weight: bold;\">bold </SPAN><SPAN STYLE=\" font-weight: bold; font-style: italic; "
           "color: #00FF00;\">styled</SPAN></P>",
           "<TD><P CLASS=\"UnnamedStyle1\" STYLE=\" text-align: right;\"><SPAN STYLE=\" font-weight: bold;\">right",
           "<P><SPAN STYLE=\" font-weight: bold;\">two</SPAN></P>",
           "<P CLASS=\"UnnamedStyle1\"><DIV CLASS=\"UnnamedStyle2\">after</DIV></P>"})
    EXPECT_NE(flat.find(want), std::string::npos) << want << "\n" << flat;
  std::string rules = css_rules(dir_.path(), dir_ / "out_1.css");
  EXPECT_NE(rules.find(".UnnamedStyle2|margin-left:36pt;margin-right:0pt;text-align:center;text-indent:0pt\n"),
            std::string::npos)
      << rules;
}

TEST_F(PagecastStyleSheetTest, BodiesWithoutTheLinkAre1589) {
  KVXTestStringMode(1);
  for (uint32_t flavour : {2u, 4u, 13u, 14u, 15u, 16u}) {
    Result r = run(kDoc, "x {VELMINS ELEMENT=Sections.1.Body}", {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_FLAVOR, flavour)});
    EXPECT_EQ(r.run, 1589) << flavour;
    EXPECT_NE(r.out.find("<A NAME=\"err\"></A>x</STRONG>"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("#14332#1589#142FC#"), std::string::npos) << r.out;
  }
  // Flavours without classes write no style sheet: no 1589, and the link is not there.
  for (uint32_t flavour : {0u, 1u, 7u, 10u, 11u}) {
    Result r = run(kDoc, "{VELMIF ELEMENT=Pragma.CSSFile}css{VELMELSE}none{/VELMIF}{VELMINS ELEMENT=Sections.1.Body}",
                   {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_FLAVOR, flavour)});
    EXPECT_EQ(r.run, KVX_OK) << flavour;
    EXPECT_EQ(r.out.rfind("none", 0), 0u) << flavour;
  }
  // A linked page that shows bodies needs its own link.
  file("b.tpt", "<LINK HREF=\"{VELMINS ELEMENT=Pragma.CSSFile}\">{VELMINS ELEMENT=Sections.1.Body}");
  file("c.tpt", "c {VELMINS ELEMENT=Sections.1.Body}");
  Result linked = run(kDoc, "{VELMINS ELEMENT=Pragma.CSSFile}{VELMLINK TEMPLATE=b.tpt}",
                      {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_FLAVOR, 2)});
  EXPECT_EQ(linked.run, KVX_OK);
  Result unlinked = run(kDoc, "{VELMINS ELEMENT=Pragma.CSSFile}{VELMLINK TEMPLATE=c.tpt}",
                        {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_FLAVOR, 2)});
  EXPECT_EQ(unlinked.run, 1589);
  EXPECT_NE(unlinked.out.find("<A NAME=\"err\"></A>c</STRONG>"), std::string::npos) << unlinked.out;
  // Without bodies the link is not needed.
  Result plain = run(kDoc, "text only", {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_FLAVOR, 2)});
  EXPECT_EQ(plain.run, KVX_OK);
}

TEST_F(PagecastStyleSheetTest, DefaultTemplateLinksTheStyleSheet) {
  Result r = run(kDoc, nullptr, {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_FLAVOR, 16)});
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_NE(r.out.find("<LINK REL=\"STYLESHEET\" HREF=\"out_1.css\"></LINK>"), std::string::npos) << r.out;
  EXPECT_EQ(css_rules(dir_.path(), dir_ / "out_1.css"), kFixedRules);
}

TEST_F(PagecastStyleSheetTest, SixteenBitOutputWritesTheSheetInUtf8OnlyInF15Flavours) {
  std::string tpl = "{VELMINS ELEMENT=Pragma.CSSFile}{VELMINS ELEMENT=Sections.1.Body}";
  const std::vector<Option> wide = {word(KVXOPT_CHARSET, KVXCS_UNICODE), word(KVXOPT_CHARBYTEORDER, 2)};
  std::vector<Option> f2 = wide, f13 = wide;
  f2.push_back(word(KVXOPT_FLAVOR, 2));
  f13.push_back(word(KVXOPT_FLAVOR, 13));
  Result utf8 = run(kDoc, tpl, f2);
  ASSERT_EQ(utf8.run, KVX_OK);
  EXPECT_EQ(utf8.out.substr(0, 20), std::string("\xFF\xFEo\0u\0t\0_\0001\0.\0c\0s\0s\0", 20));
  std::string css = qm::test::read_file(dir_ / "out_1.css");
  EXPECT_EQ(css.rfind("P { margin-top:0pt;", 0), 0u) << css;
  EXPECT_EQ(css_rules(dir_.path(), dir_ / "out_1.css"), kFixedRules);
  Result units = run(kDoc, tpl, f13);
  ASSERT_EQ(units.run, KVX_OK);
  std::string css16 = qm::test::read_file(dir_ / "out_2.css");
  EXPECT_EQ(css16.substr(0, 6), std::string("\xFF\xFEP\0 \0", 6));
  std::string decoded = python(dir_.path(), "import sys\nsys.stdout.write(open('" + dir_ / "out_2.css" +
                                                "', 'rb').read().decode('utf-16'))\n");
  EXPECT_EQ(decoded, css);
}

TEST_F(PagecastStyleSheetTest, TemplateNameTravelsWithTheFileRequests) {
  file("b.tpt", "linked");
  Result r = run(kDoc, "{VELMLINK TEMPLATE=b.tpt}", {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  ASSERT_EQ(r.run, KVX_OK);
  std::string t = dir_ / "t.tpt";
  EXPECT_EQ(host_.template_name, std::u16string(t.begin(), t.end()));
  Result wide = run(kDoc, "{VELMLINK TEMPLATE=b.tpt}", {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_ROOTFILECALLBACK, 1)});
  ASSERT_EQ(wide.run, KVX_OK);
  EXPECT_EQ(host_.tag, 0x1008);
  EXPECT_EQ(host_.template_name, std::u16string(t.begin(), t.end()));
  // The built-in template has no name.
  Result builtin = run(kDoc, nullptr, {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  ASSERT_EQ(builtin.run, KVX_OK);
  EXPECT_TRUE(host_.template_name.empty());
}

TEST_F(PagecastStyleSheetTest, SixteenBitTemplatesKeepNamesBeyondLatin1) {
  // "\u9644\u4EF6.tpt" (an attachment) on disk in UTF-8, as the IO layer names 16-bit paths.
  file("\xE9\x99\x84\xE4\xBB\xB6.tpt", "included");
  std::string tpl = le16(u"[{VELMINCLUDE TEMPLATE=\u9644\u4EF6.tpt}]");
  Result r = run(kDoc, tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, "[included]");
  // A host element named beyond Latin-1 in a 16-bit template reaches the host whole.
  const std::u16string name = u"\u4E3B\u6A5F";
  std::vector<uint16_t> units(name.begin(), name.end());
  units.push_back(0);
  host_.answers[KVXCB_EXPORTSTART] = KVX_OK;
  host_.host_elements = {reinterpret_cast<const char*>(units.data()), nullptr};
  host_.wide = true;
  Result h = run(kDoc, le16(u"a{VELMINS ELEMENT=\u4E3B\u6A5F.\u7532}b"),
                 {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_ROOTFILECALLBACK, 1)});
  ASSERT_EQ(h.run, KVX_OK);
  EXPECT_EQ(h.out, "ab");
  EXPECT_EQ(host_.host_text, u"\u4E3B\u6A5F.\u7532");
  EXPECT_NE(host_.log.find("261\n"), std::string::npos) << host_.log;
  // OEM text goes to the host whole too.
  Result oem = run(kDoc, le16(u"a{VELMINS OEM=\"\u7532\u4E59\"}b"),
                   {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_ROOTFILECALLBACK, 1)});
  ASSERT_EQ(oem.run, KVX_OK);
  EXPECT_EQ(oem.out, "a[host]b");
  EXPECT_EQ(host_.host_text, u"\u7532\u4E59");
}

}  // namespace
}  // namespace pc::test
