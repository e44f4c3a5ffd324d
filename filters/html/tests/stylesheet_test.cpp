// The writer's style side in-process: the table of style classes (duplicates, unnamed
// aliases, use counts through the alias), the style sheet written from it (checked by
// tinycss2, python3-tinycss2), class tags over a parent chain, run spans and the
// paragraph's STYLE= with their inline properties (also parsed by tinycss2), the default
// face of option 35, the bookmark argument, and a styled chunk script gathered and written.
#include <gtest/gtest.h>

#include <string>

#include "filters/common/kvx_abi.h"
#include "filters/html/pc_chunkattrs.h"
#include "filters/html/pc_stylesheet.h"
#include "filters/html/tests/writer_harness.h"
#include "testsupport/test_files.h"

namespace pc::test {
namespace {

// A writer over the harness's sink, configured for the flavour (option 7 value).
struct StyledWriter {
  Harness h;
  HtmlWriter w;
  explicit StyledWriter(uint32_t flavour, uint32_t set = 0x00080101, uint16_t kind = kKind8) : h(flavour) {
    h.flavourOption = flavour;
    w.s = h.s;
    EXPECT_EQ(StartWriter(w), KVX_OK);
    EXPECT_EQ(ConfigureHtmlWriter(set, kind, w, nullptr), KVX_OK);
  }
  std::string take() {
    std::string o = h.sink.bytes;
    h.sink.bytes.clear();
    return o;
  }
};

// tinycss2 (the system's python3, where Debian's package lives) reads css as a style
// sheet (sheet) or as a declaration list: one line per rule or declaration.
std::string tinycss(const std::string& css, bool sheet, const char* encoding = "latin-1") {
  qm::test::TempDir dir{"pagecast-css-"};
  qm::test::write_file(dir / "in.css", css);
  std::string code =
      "import tinycss2\n"
      "src = open('" + dir / "in.css" + "', encoding='" + encoding + "').read()\n"
      "import sys\nsys.stdout.reconfigure(encoding='utf-8')\n"
      "def prelude(tokens):\n"
      "    return ''.join(t.value if t.type == 'ident' else tinycss2.serialize([t]) for t in tokens).strip()\n"
      "def decls(nodes):\n"
      "    out = []\n"
      "    for d in tinycss2.parse_declaration_list(nodes, skip_comments=True, skip_whitespace=True):\n"
      "        out.append('ERROR ' + d.message if d.type == 'error' else d.lower_name + ':' + tinycss2.serialize(d.value).strip())\n"
      "    return ';'.join(out)\n" +
      std::string(sheet ? "for r in tinycss2.parse_stylesheet(src, skip_comments=True, skip_whitespace=True):\n"
                          "    print('ERROR ' + r.message if r.type == 'error' else prelude(r.prelude) + '|' + decls(r.content))\n"
                        : "print(decls(src))\n");
  qm::test::write_file(dir / "oracle.py", code);
  std::string out;
  EXPECT_EQ(qm::test::command_output("/usr/bin/python3 " + dir / "oracle.py", out), 0) << out;
  return out;
}

StyleAttrRecord heading_record() {
  StyleAttrRecord r;
  r.para.flags = 0x1 | 0x2;
  r.para.alignment = 3;
  r.para.spaceBefore = 240;
  r.chars.flags = 0x1 | 0x80000 | 0x100000 | 0x200000;
  r.chars.toggles[0] = 1;
  r.chars.fontSize = 320;
  r.chars.colour = 0x0000FF;
  r.chars.fontNames[0] = u"Times New Roman";
  return r;
}

TEST(PagecastStyleSheet, ClassTableAliasesAndTheSheet) {
  StyledWriter sw(13);
  HtmlWriter& w = sw.w;
  int a = -1, b = -1, c = -1, d = -1;
  ASSERT_EQ(AddStyleClass(w, 5, kNoStyleId, u"Heading 1", heading_record(), &a), KVX_OK);
  ASSERT_EQ(AddStyleClass(w, 5, kNoStyleId, u"Other", StyleAttrRecord{}, &b), KVX_OK);
  EXPECT_EQ(a, b);  // the same id is registered once
  StyleAttrRecord plain;
  plain.chars.flags = 0x2;
  plain.chars.toggles[1] = 1;
  ASSERT_EQ(AddStyleClass(w, 7, kNoStyleId, u"UnnamedStyle1", plain, &c), KVX_OK);
  ASSERT_EQ(AddStyleClass(w, 8, kNoStyleId, u"UnnamedStyle2", plain, &d), KVX_OK);
  EXPECT_TRUE(w.classes[size_t(d)].alias);
  EXPECT_EQ(w.classes[size_t(d)].name, w.classes[size_t(c)].name);
  // A name that starts with a digit makes a class whose selector needs escaping.
  ASSERT_EQ(AddStyleClass(w, 9, kNoStyleId, u"2nd", plain, nullptr), KVX_OK);
  uint32_t st = 0;
  StyleCountUse(w, 5, st);
  StyleCountUse(w, 9, st);
  StyleCountUse(w, 8, st);  // counts for style 7
  EXPECT_EQ(st, 0u);
  EXPECT_EQ(w.classes[size_t(c)].uses, 1u);
  EXPECT_EQ(w.classes[size_t(d)].uses, 0u);
  EXPECT_EQ(StyleFind(w, 99, st), -1);
  EXPECT_EQ(st, 18u);

  ASSERT_EQ(FinishWriter(1, &sw.h.sink.io, w), KVX_OK);
  std::string sheet = sw.take();
  EXPECT_EQ(tinycss(sheet, true),
            "P|margin-top:0pt;margin-bottom:0pt\n"
            "TD P|padding-top:1pt;padding-bottom:1pt\n"
            "TH P|padding-top:1pt;padding-bottom:1pt\n"
            ".Heading-00201|margin-top:12pt;text-align:center;font-family:\"Times New Roman\", \"Arial\";font-size:16pt;"
            "font-weight:bold;color:#FF0000\n"
            ".UnnamedStyle1|font-style:italic\n"
            ".2nd|font-style:italic\n")
      << sheet;
  EXPECT_NE(sheet.find(".\\32 nd{"), std::string::npos) << sheet;
  // Kind 0 writes nothing.
  EXPECT_EQ(FinishWriter(0, &sw.h.sink.io, w), KVX_OK);
  EXPECT_EQ(sw.take(), "");
}

TEST(PagecastStyleSheet, SheetOfSixteenBitOutputIsUtf8InF15Flavours) {
  for (uint32_t flavour : {2u, 13u}) {
    StyledWriter sw(flavour, KVXCS_UNICODE, kKindLE);
    StyleAttrRecord r;
    r.chars.flags = 0x200000;
    r.chars.fontNames[0] = u"\u6a19\u6977\u9ad4";
    int i = -1;
    ASSERT_EQ(AddStyleClass(sw.w, 3, kNoStyleId, u"\u6a19\u984c", r, &i), KVX_OK);
    uint32_t st = 0;
    StyleCountUse(sw.w, 3, st);
    EXPECT_EQ(StyleSheetKind(sw.w), flavour == 2 ? kKindUTF8 : kKindLE);
    ASSERT_EQ(FinishWriter(1, &sw.h.sink.io, sw.w), KVX_OK);
    std::string sheet = sw.take();
    std::string utf8 = sheet;
    if (flavour == 13) {  // UTF-16LE: back to UTF-8 for the oracle
      std::u16string units;
      for (size_t k = 0; k + 1 < sheet.size(); k += 2) units.push_back(char16_t(uint8_t(sheet[k]) | uint8_t(sheet[k + 1]) << 8));
      utf8.clear();
      for (char16_t c : units) {
        if (c < 0x80) utf8 += char(c);
        else if (c < 0x800) utf8 += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
        else utf8 += {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
      }
    }
    std::string rules = tinycss(utf8, true, "utf-8");
    EXPECT_NE(rules.find(".-6a19-984c|font-family:\"\xE6\xA8\x99\xE6\xA5\xB7\xE9\xAB\x94\", \"Arial\"\n"), std::string::npos)
        << flavour << "\n" << rules;
  }
}

TEST(PagecastStyleSheet, DefaultFaceFromOption35) {
  StyledWriter sw(13);
  EXPECT_EQ(sw.w.s.defaultFace, u"Arial");
  static const char16_t kFace[] = u"\u6a19\u6977\u9ad4";
  struct {
    const void* text;
    uint16_t kind;
  } wide{kFace, 1}, narrow{"Courier", 0};
  for (auto* opt : {&wide, &narrow}) {
    HtmlWriter w;
    w.s = sw.h.s;
    auto base = sw.h.s.getOption;
    w.s.getOption = [&, opt](uint32_t id, void* buffer, uint32_t* size) -> KVXSTATUS {
      if (id != KVXOPT_35) return base(id, buffer, size);
      std::memcpy(buffer, opt, sizeof *opt);
      return KVX_OK;
    };
    ASSERT_EQ(ConfigureHtmlWriter(0x00080101, kKind8, w, nullptr), KVX_OK);
    EXPECT_EQ(w.s.defaultFace, opt == &wide ? std::u16string(kFace) : u"Courier");
  }
}

TEST(PagecastStyleSheet, ClassTagsOverAParentChain) {
  StyledWriter sw(13);
  HtmlWriter& w = sw.w;
  StyleAttrRecord body;
  body.para.flags = 0x2;
  ASSERT_EQ(AddStyleClass(w, 1, kNoStyleId, u"Body", body, nullptr), KVX_OK);
  ASSERT_EQ(AddStyleClass(w, 2, 1, u"Quote", body, nullptr), KVX_OK);
  ASSERT_EQ(AddStyleClass(w, 3, 2, u"Inner", StyleAttrRecord{}, nullptr), KVX_OK);
  uint32_t st = 0;
  WriteClassTag(3, 27, true, false, st, w);
  EXPECT_EQ(sw.take(), "<P CLASS=\"Body\"><DIV CLASS=\"Quote\"><DIV CLASS=\"Inner\">");
  WriteClassTag(3, 24, false, false, st, w);
  EXPECT_EQ(sw.take(), "</DIV></DIV>");  // the caller's paragraph end closes the P
  w.headingLevel = 2;
  WriteClassTag(1, 149, true, true, st, w);
  EXPECT_EQ(sw.take(), "<H2 CLASS=\"Body\"");
  w.inList = true;
  WriteClassTag(2, 76, true, false, st, w);
  EXPECT_EQ(sw.take(), "<SPAN CLASS=\"Body--List\"><SPAN CLASS=\"Quote--List\">");
  EXPECT_TRUE(w.classes[1].listVariant);
  WriteClassTag(2, 76, false, false, st, w);
  EXPECT_EQ(sw.take(), "</SPAN></SPAN>");
  EXPECT_EQ(st, 0u);
  // A parent chain that loops ends at the first repeat: Quote, Body, Inner.
  w.classes[1].parent = 3;
  w.inList = false;
  WriteClassTag(2, 27, true, false, st, w);
  EXPECT_EQ(sw.take(), "<P CLASS=\"Inner\"><DIV CLASS=\"Body\"><DIV CLASS=\"Quote\">");
  WriteClassTag(42, 27, true, false, st, w);
  EXPECT_EQ(st, 18u);
}

// The STYLE value of the first tag in html.
std::string style_value(const std::string& html) {
  size_t a = html.find("STYLE=\"");
  if (a == std::string::npos) return "";
  a += 7;
  return html.substr(a, html.find('"', a) - a);
}

TEST(PagecastStyleSheet, RunSpansWriteWhatDiffersFromTheParagraphStyle) {
  StyledWriter sw(13);
  HtmlWriter& w = sw.w;
  StyleAttrRecord body;
  body.chars.flags = 0x1;
  body.chars.toggles[0] = 1;
  ASSERT_EQ(AddStyleClass(w, 1, kNoStyleId, u"Body", body, nullptr), KVX_OK);
  w.paraStyle = 1;
  w.spanStack[0] = body.chars;
  uint32_t st = 0;
  // A run equal to the previous one writes no SPAN.
  OpenRunSpan(body.chars, st, w);
  EXPECT_EQ(sw.take(), "");
  EXPECT_EQ(CloseRunSpan(false, st, w), 0);
  CharAttrRecord run = body.chars;
  run.flags |= 0x2 | 0x100000 | 0x20 | 0x10000;
  run.toggles[1] = 1;
  run.toggles[3] = 1;
  run.toggles[9] = 1;
  run.colour = 0x00FF8000;
  OpenRunSpan(run, st, w);
  std::string html = sw.take();
  EXPECT_EQ(html.rfind("<SPAN CLASS=\"Body\" STYLE=\"", 0), 0u) << html;
  EXPECT_EQ(tinycss(style_value(html), false),
            "font-style:italic;text-decoration:underline line-through;color:#0080FF\n")
      << html;
  EXPECT_EQ(CloseRunSpan(false, st, w), 1);
  EXPECT_EQ(sw.take(), "</SPAN>");
  EXPECT_EQ(st, 0u);
  // Flavours without the SPAN class attribute write only STYLE.
  StyledWriter plain(10);
  plain.w.paraStyle = 1;
  ASSERT_EQ(AddStyleClass(plain.w, 1, kNoStyleId, u"Body", body, nullptr), KVX_OK);
  OpenRunSpan(run, st, plain.w);
  std::string p = plain.take();
  EXPECT_EQ(p.rfind("<SPAN STYLE=\"", 0), 0u) << p;
}

TEST(PagecastStyleSheet, ParagraphStyleAttribute) {
  StyledWriter sw(13);
  HtmlWriter& w = sw.w;
  StyleAttrRecord body;
  body.para.flags = 0x1;
  body.para.alignment = 1;
  ASSERT_EQ(AddStyleClass(w, 1, kNoStyleId, u"Body", body, nullptr), KVX_OK);
  w.paraStyle = 1;
  uint32_t st = 0;
  ParaAttrRecord same = body.para;
  WriteParaStyleAttr(same, st, w);
  EXPECT_EQ(sw.take(), "");
  ParaAttrRecord p = body.para;
  p.alignment = 3;
  p.flags |= 0x100;
  // A double top border of 10 twips, a dotted bottom one of 30; the others none.
  p.borders[1] = 10, p.borders[2] = 0x000000FF, p.borders[3] = 2, p.borders[4] = 40;
  p.borders[11] = 30, p.borders[12] = 0x00FF0000, p.borders[13] = 0x20;
  p.borders[6] = 20, p.borders[8] = 1;
  w.s.pendingSpace = 240;
  WriteParaStyleAttr(p, st, w);
  std::string html = sw.take();
  EXPECT_EQ(tinycss(style_value(html), false),
            "margin-top:12pt;border-width:2pt 0pt 1pt 0pt;border-color:#FF0000 #FFFFFF #0000FF #FFFFFF;"
            "border-style:double none dotted none;padding-top:2pt;text-align:center\n")
      << html;
  EXPECT_EQ(w.s.pendingSpace, 0u);
  EXPECT_EQ(st, 0u);
}

TEST(PagecastStyleSheet, StylesAppliedAsTagsOrThroughTheClass) {
  StyleAttrRecord parent, child;
  parent.chars.flags = 0x20;
  parent.chars.toggles[3] = 1;
  child.chars.flags = 0x1 | 0x2;
  child.chars.toggles[0] = child.chars.toggles[1] = 1;
  // Tag flavour: the properties become wanted tags, parents first.
  StyledWriter tags(11);
  ASSERT_EQ(AddStyleClass(tags.w, 1, kNoStyleId, u"Under", parent, nullptr), KVX_OK);
  ASSERT_EQ(AddStyleClass(tags.w, 2, 1, u"Strong", child, nullptr), KVX_OK);
  uint32_t st = 0;
  ApplyCharStyle(2, true, false, st, tags.w);
  FlushPendingFormat(st, tags.w.s);
  EXPECT_EQ(tags.take(), "<B><I><U>");
  ApplyCharStyle(2, false, false, st, tags.w);
  FlushPendingFormat(st, tags.w.s);
  EXPECT_EQ(tags.take(), "</U></I></B>");
  EXPECT_EQ(st, 0u);
  // CSS flavour: the class says it, so nothing is set unless forced; the values become
  // the current character state and the use is counted.
  StyledWriter css(13);
  ASSERT_EQ(AddStyleClass(css.w, 1, kNoStyleId, u"Under", parent, nullptr), KVX_OK);
  ASSERT_EQ(AddStyleClass(css.w, 2, 1, u"Strong", child, nullptr), KVX_OK);
  ApplyCharStyle(2, true, false, st, css.w);
  EXPECT_EQ(css.w.s.styleFlags, 0u);
  EXPECT_EQ(css.w.current.flags, 0x1u | 0x2 | 0x20);
  EXPECT_EQ(css.w.classes[2].uses, 1u);
  ApplyCharStyle(2, true, true, st, css.w);
  EXPECT_EQ(css.w.s.styleFlags & (kStyleBold | kStyleItalic | kStyleUnderline), kStyleBold | kStyleItalic | kStyleUnderline);
  // A change inside the run: a SPAN with what differs from the span below.
  css.w.current.flags |= 0x100000;
  css.w.current.colour = 0x00336699;
  OpenChangeSpan(st, css.w);
  std::string html = css.take();
  EXPECT_EQ(tinycss(style_value(html), false),
            "font-weight:bold;font-style:italic;text-decoration:underline;color:#996633\n")
      << html;
  OpenChangeSpan(st, css.w);  // nothing changed since
  EXPECT_EQ(css.take(), "");
  EXPECT_EQ(CloseRunSpan(true, st, css.w), 1);
  EXPECT_EQ(css.take(), "</SPAN>");
  ApplyCharStyle(9, true, false, st, css.w);
  EXPECT_EQ(st, 18u);
}

TEST(PagecastStyleSheet, ParagraphStyleFillsWhatTheParagraphLeavesOpen) {
  StyledWriter sw(13);
  StyleAttrRecord body;
  body.para.flags = 0x1 | 0x2 | 0x8;
  body.para.alignment = 3;
  body.para.spaceBefore = 120;
  body.para.lineHeight = 280;
  ASSERT_EQ(AddStyleClass(sw.w, 4, kNoStyleId, u"Body", body, nullptr), KVX_OK);
  ParaAttrRecord para;
  para.flags = 0x1;
  para.alignment = 2;
  uint32_t st = 0;
  ApplyParaStyle(4, para, st, sw.w);
  EXPECT_EQ(para.alignment, 2);
  EXPECT_EQ(para.spaceBefore, 120u);
  EXPECT_EQ(para.lineHeight, 280u);
  EXPECT_EQ(para.flags, 0x1u | 0x2 | 0x8);
  EXPECT_EQ(sw.w.paraStyle, 4u);
  EXPECT_EQ(sw.w.classes[1].uses, 1u);
  EXPECT_EQ(st, 0u);
}

TEST(PagecastStyleSheet, BookmarkArgumentOtherThanTenIs18) {
  StyledWriter sw(11);
  EXPECT_EQ(SaveBookmark(9, sw.w), 18);
  EXPECT_EQ(RestoreBookmark(11, sw.w), 18);
  AddPendingAnchor(u"a", sw.w.s);
  ASSERT_EQ(SaveBookmark(10, sw.w), KVX_OK);
  AddPendingAnchor(u"b", sw.w.s);
  ASSERT_EQ(RestoreBookmark(10, sw.w), KVX_OK);
  EXPECT_EQ(sw.w.s.pendingAnchors.size(), 1u);
}

}  // namespace
}  // namespace pc::test

namespace pc::test {
namespace {

// A style record of range 3 as a chunk-script line: kind, two words, parent, three zeros.
std::string style_line(uint32_t kind, uint32_t parent) {
  std::string hex;
  for (uint32_t v : {kind, 0u, 0u, parent, 0u, 0u, 0u}) {
    char b[9];
    std::snprintf(b, sizeof b, "%02x%02x%02x%02x", v & 0xFF, v >> 8 & 0xFF, v >> 16 & 0xFF, v >> 24);
    hex += b;
  }
  return "record 3 " + hex + "\n";
}

// The style values of every STYLE= in html, in order.
std::vector<std::string> style_values(const std::string& html) {
  std::vector<std::string> out;
  for (size_t a = html.find("STYLE=\""); a != std::string::npos; a = html.find("STYLE=\"", a)) {
    a += 7;
    out.push_back(html.substr(a, html.find('"', a) - a));
  }
  return out;
}

// A document's styles and paragraphs read from a chunk script by the attribute gatherers
// and written by the CSS flavour 13: the style block and the inline properties, read by
// tinycss2, carry the document's lengths (twips / 20) and colours (red in the low byte).
TEST(PagecastStyleSheet, StyledChunkScriptGivesSheetAndInlineStyles) {
  ASSERT_EQ(DAInit(), KVX_OK);
  std::string script =
      "kvx-chunks 1\nsection wp\n" + style_line(1, 0xFFFFFFFF) + style_line(0, 0xFFFFFFFF) +
      // Style 1 "Heading 1": centred, 12pt before, bold, 16pt, blue.
      "group 0xA008001C 1 0\nitem 12 3 0 0\nitem 98 0 240 0\nitem 8 2 1 0\nitem 9 320 0 0\n"
      "item 60 0 0xFF0000 0\nend\n"
      // Style 2 "Emphasis": italic, green.
      "group 0xA008001C 2 28\nitem 8 3 1 0\nitem 60 0 0x008000 0\nend\n"
      // A heading, then a paragraph of style 1 indented 1 inch with a larger run.
      "item 28 0 1 0\ntext cp1252 \"Title\"\npara\n"
      "item 28 0 1 0\nitem 13 1440 0 1440\ntext cp1252 \"a\"\nitem 9 500 0 0\nitem 60 0 0x0000FF 0\n"
      "text cp1252 \"b\"\npara\n";
  KVXMEMORYSPEC spec = {sizeof spec, script.data(), uint32_t(script.size())};
  KVXHANDLE doc = 0, ch = 0;
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_MEMORY, &spec, 0), KVX_OK);
  ASSERT_EQ(DAGetHChunker(doc, &ch), KVX_OK);
  {
    ChunkerAttrs src(ch);
    StyledWriter sw(13);
    HtmlWriter& w = sw.w;
    const char16_t* names[] = {u"Heading 1", u"Emphasis"};
    for (uint32_t id : {1u, 2u}) {
      const StyleAttrRecord* r = nullptr;
      ASSERT_EQ(src.cache().GatherStyle(id, 0, &r, nullptr), KVX_OK);
      ASSERT_EQ(AddStyleClass(w, id, kNoStyleId, names[id - 1], *r, nullptr), KVX_OK);
    }
    // The paragraphs: the first item after the definitions is the first style application.
    uint32_t id = 0, next = 0, words[4];
    ASSERT_EQ(CHGetItemId(ch, KVXRANGE_ITEMS, 0, &id), KVX_OK);
    for (;;) {
      ASSERT_EQ(src.item(id, words, &next), KVX_OK);
      if (words[0] == 28) break;
      id = next;
    }
    uint32_t st = 0;
    const char* texts[] = {"Title", "a", "b"};
    size_t runs = 0;
    for (int paragraph = 0; paragraph < 2; ++paragraph) {
      ParaAttrRecord para;
      WalkState ws;
      ws.item = id;
      ASSERT_EQ(GatherParagraph(src, para, ws), KVX_OK);
      ASSERT_TRUE(para.flags & 0x4000);
      ApplyParaStyle(para.styleKey, para, st, w);
      WriteClassTag(para.styleKey, 27, true, true, st, w);
      WriteParaStyleAttr(para, st, w);
      EmitRaw(">", st, w.s);
      // The runs: the attributes that lead each text run, then its text.
      CharAttrRecord run = w.spanStack[0];
      for (uint32_t at = id; at != ws.item;) {
        WalkState rs;
        rs.item = at;
        rs.last = ws.item;
        CharAttrRecord lead = run;
        uint32_t text = GatherLeadingAttrs(src, lead, rs);
        ASSERT_NE(text, kNoItemId);
        ASSERT_EQ(src.item(text, words, &next), KVX_OK);
        if (words[0] == KVXITEM_TEXT) {
          lead.flags |= run.flags;
          OpenRunSpan(lead, st, w);
          WriteText8(texts[runs++], st, w.s);
          run = lead;
        }
        at = text == ws.item ? text : next;
      }
      while (w.spanStack.size() > 1) CloseRunSpan(true, st, w);
      WriteClassTag(para.styleKey, 24, false, false, st, w);
      EmitRaw("</P>", st, w.s);
      // On past the paragraph break.
      ASSERT_EQ(src.item(ws.item, words, &next), KVX_OK);
      id = next;
    }
    ASSERT_EQ(st, 0u);
    std::string body = sw.take();
    WriteStyleBlock(w.classes, u"", st, w.s);
    ASSERT_EQ(st, 0u);
    std::string sheet = tinycss(sw.take(), true);
    // The heading's class: its paragraph and character values in points and colours.
    std::string cls = CssSelectorName(ClassName(u"Heading 1"));
    EXPECT_NE(sheet.find("." + cls + "|margin-top:12pt;text-align:center;font-size:16pt;font-weight:bold;"
                         "color:#0000FF\n"),
              std::string::npos)
        << sheet;
    EXPECT_EQ(sheet.find("Emphasis"), std::string::npos) << sheet;  // never used
    // Inline: the second paragraph's indent of 1440 twips, the larger red run (0x0000FF: red in the low byte).
    std::vector<std::string> inline_styles = style_values(body);
    ASSERT_EQ(inline_styles.size(), 2u) << body;
    EXPECT_EQ(tinycss(inline_styles[0], false), "margin-left:72pt;margin-right:0pt;text-indent:0pt\n") << body;
    EXPECT_EQ(tinycss(inline_styles[1], false), "font-size:25pt;color:#FF0000\n") << body;
    EXPECT_EQ(runs, 3u);
    EXPECT_NE(body.find("<P CLASS=\"" + ClassName(u"Heading 1") + "\">Title</P>"), std::string::npos) << body;
    EXPECT_NE(body.find(">a<SPAN CLASS=\"" + ClassName(u"Heading 1") + "\" STYLE="), std::string::npos) << body;
    EXPECT_NE(body.find(">b</SPAN></P>"), std::string::npos) << body;
  }
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
  EXPECT_EQ(DADeInit(), KVX_OK);
}

}  // namespace
}  // namespace pc::test
