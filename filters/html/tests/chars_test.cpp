// The character side of the HTML writer in-process: the character table with and without
// entity mode, word underline, the nesting of character codes, and random sequences of
// setters and texts in three flavours checked for balanced tags by our own stack checker
// and by Python's html.parser, which must also give back the text written.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "filters/html/pc_chars.h"
#include "filters/html/tests/writer_harness.h"
#include "filters/html/tests/tag_stack.h"
#include "testsupport/test_files.h"

namespace pc::test {
namespace {

constexpr uint32_t kLatin1 = 0x00080101;

TEST(PagecastChars, Table) {
  struct Case {
    uint32_t flavour, flags, charset;
    const char* text;
    const char* expect;
  } cases[] = {
      {11, 1, kLatin1, "caf\xE9", "caf&#233;"},
      {11, 0, kLatin1, "caf\xE9", "caf\xE9"},
      {11, 1, kLatin1, "a\x07z", "a@z"},
      {11, 0, kLatin1, "a\x07z", "a\x07z"},
      {11, 1, kLatin1, "a\tb\r\n", "a\tb\r\n"},
      {11, 0, kLatin1, "<a href=\"x\">&", "&lt;a href=&quot;x&quot;&gt;&amp;"},
      {11, 0, kLatin1, "\xA0", "&nbsp;"},
      {1, 0, kLatin1, "\xA0", "&#160;"},
      {7, 0, kLatin1, "\xA0", "&nbsp;"},
      {7, 1, kLatin1, "\xA0", "&#160;"},
      {11, 1, 0x13B60000, "\xA4\xA4", "\xA4\xA4"},  // double-byte output keeps its bytes
  };
  for (const Case& c : cases) {
    Harness h(c.flavour, c.flags);
    BuildCharTable(h.s, c.charset);
    uint32_t st = 0;
    WriteText8(c.text, st, h.s);
    EXPECT_EQ(h.out(), c.expect) << c.text;
  }
}

TEST(PagecastChars, CodesNestInOrder) {
  Harness h(7);
  BuildCharTable(h.s, kLatin1);
  uint32_t st = 0;
  SetCharAttribute(2, 1, h.s);
  FlushCodes(st, h.s);
  SetCharAttribute(3, 1, h.s);
  FlushCodes(st, h.s);
  EXPECT_EQ(h.out(), "<B><I>");
  SetCharAttribute(2, 0, h.s);
  FlushCodes(st, h.s);
  EXPECT_EQ(h.out(), "<B><I></I></B><I>");
  SetCharAttribute(13, 1, h.s);
  FlushCodes(st, h.s);
  WriteText8("a b", st, h.s);
  SetCharAttribute(13, 0, h.s);
  FlushCodes(st, h.s);
  WriteText8(" c", st, h.s);
  CloseCodes(st, h.s);
  EXPECT_EQ(h.out(), "<B><I></I></B><I><U>a</U> <U>b</U> c</I>");
  // Strike in a flavour of F12 writes both tags; code 18 and 21 are ignored.
  Harness s(1);
  SetCharAttribute(12, 1, s.s);
  SetCharAttribute(18, 1, s.s);
  SetCharAttribute(21, 1, s.s);
  FlushCodes(st, s.s);
  CloseCodes(st, s.s);
  EXPECT_EQ(s.out(), "<S><STRIKE></STRIKE></S>");
  // Style-sheet flavours record the property instead of a tag.
  Harness c(13);
  SetCharAttribute(2, 1, c.s);
  FlushCodes(st, c.s);
  EXPECT_EQ(c.out(), "");
  EXPECT_EQ(c.s.styleFlags, kStyleBold);
  // Subscript without SUB in the flavour falls back to EM.
  Harness e(8);
  SetCharAttribute(10, 1, e.s);
  FlushCodes(st, e.s);
  EXPECT_EQ(e.out(), TagAllowed(34, e.s.flavour) ? "<SUB>" : "<EM>");
}

TEST(PagecastChars, RandomSequencesBalance) {
  const char* pieces[] = {"ab", " ", "x y", "<", "&", "\"q\"", ">", "\xA0", "\t"};
  struct Flavour {
    uint32_t value, flags;
  } flavours[] = {{11, 1}, {7, 0}, {13, 0}};
  qm::test::TempDir dir("pagecast-chars-");
  std::string script =
      "import sys, html.parser\n"
      "class P(html.parser.HTMLParser):\n"
      "  def __init__(s):\n"
      "    super().__init__(convert_charrefs=True); s.stack=[]; s.text=''; s.bad=''\n"
      "  def handle_starttag(s, t, a): s.stack.append(t)\n"
      "  def handle_endtag(s, t):\n"
      "    if not s.stack or s.stack.pop() != t: s.bad = s.bad or 'mismatch ' + t\n"
      "  def handle_data(s, d): s.text += d\n"
      "for name in sys.argv[1:]:\n"
      "  p = P(); p.feed(open(name, encoding='latin-1').read()); p.close()\n"
      "  if p.stack: p.bad = p.bad or 'open ' + p.stack[-1]\n"
      "  want = open(name + '.txt', encoding='latin-1').read()\n"
      "  if p.bad or p.text != want: print(name, p.bad, repr(p.text), repr(want))\n";
  qm::test::write_file(dir / "check.py", script);
  std::string args;
  std::mt19937 rng(29);
  int n = 0;
  for (const Flavour& f : flavours) {
    for (int round = 0; round < 40; ++round, ++n) {
      Harness h(f.value, f.flags);
      BuildCharTable(h.s, kLatin1);
      uint32_t st = 0;
      std::string text;
      for (int step = 0; step < 30; ++step) {
        unsigned pick = rng() % 8;
        if (pick < 3) {
          SetCharAttribute(2 + rng() % 19, rng() % 2, h.s);
        } else if (pick == 3) {
          SetColour(rng() % 3 * 0x7F, h.s);
        } else if (pick == 4) {
          SetFontSize(rng() % 4 * 150, h.s);
        } else if (pick == 5) {
          SetFace(rng() % 2 ? "Ming \"Li\"" : "Arial", h.s);
        } else {
          const char* piece = pieces[rng() % std::size(pieces)];
          FlushPendingFormat(st, h.s);
          WriteText8(piece, st, h.s);
          text += piece;
        }
      }
      CloseFormatting(st, h.s);
      ASSERT_EQ(st, 0u);
      EXPECT_EQ(stack_fault(h.out()), "") << h.out();
      std::string name = dir / ("p" + std::to_string(n) + ".html");
      qm::test::write_file(name, h.out());
      qm::test::write_file(name + ".txt", text);
      args += " " + name;
    }
  }
  std::string report;
  ASSERT_EQ(qm::test::command_output("python3 " + dir / "check.py" + args, report), 0);
  EXPECT_EQ(report, "");
}

// Every line but the last ends with a blank after column 67; no blank before the last
// word of a line lies beyond column 67 (counted in bytes, or units for 16-bit output).
template <class S>
std::string wrap_fault(const S& out, size_t unit) {
  std::vector<S> lines;
  size_t from = 0;
  for (size_t i = 0; i + 1 < out.size(); ++i) {
    if (out[i] == '\r' && out[i + 1] == '\n') {
      lines.push_back(out.substr(from, i - from));
      from = i + 2;
    }
  }
  lines.push_back(out.substr(from));
  for (size_t l = 0; l < lines.size(); ++l) {
    const S& line = lines[l];
    if (l + 1 < lines.size() && (line.size() / unit <= kWrapColumn || line.back() != ' '))
      return "line " + std::to_string(l) + " broken early";
    for (size_t i = 0; i + 1 < line.size(); ++i)
      if (line[i] == ' ' && line[i + 1] != ' ' && (i + 1) / unit > kWrapColumn) return "line " + std::to_string(l) + " too long";
  }
  return lines.size() > 2 ? "" : "no wrapping";
}

TEST(PagecastChars, Text16IntoOutputSets) {
  std::u16string input;
  for (int i = 0; i < 12; ++i) input += u"\u4e2d\u6587 text <b> & \"q\" \u0e01 words here ";
  std::string expect_hex;
  struct Case {
    uint32_t charset;
    uint16_t kind;
    const char* codec;
  } cases[] = {{0x13B60000, kKind8, "cp950"}, {0x14B00000, kKindUTF8, "utf-8"}, {0x14B00000, kKindLE, "utf-16-le"},
               {kLatin1, kKind8, "latin-1"}};
  qm::test::TempDir dir("pagecast-text16-");
  std::string in_hex;
  for (char16_t c : input) {
    char b[8];
    std::snprintf(b, sizeof b, "%04x", unsigned(c));
    in_hex += b;
  }
  qm::test::write_file(dir / "check.py",
                       "import sys, html.parser, codecs\n"
                       "codec, name = sys.argv[1], sys.argv[2]\n"
                       "src = ''.join(chr(int(sys.argv[3][i:i+4], 16)) for i in range(0, len(sys.argv[3]), 4))\n"
                       "want = ''.join(c if (c.encode(codec, 'ignore') or c == '') else '@' for c in src)\n"
                       "text = open(name, 'rb').read().decode(codec, 'strict').replace('\\r\\n', '')\n"
                       "out = []\n"
                       "class P(html.parser.HTMLParser):\n"
                       "  def handle_data(s, d): out.append(d)\n"
                       "  def handle_starttag(s, t, a): out.append('TAG')\n"
                       "p = P(convert_charrefs=True); p.feed(text); p.close()\n"
                       "got = ''.join(out)\n"
                       "if got != want: print(codec, repr(got[:80]), repr(want[:80]))\n");
  for (const Case& c : cases) {
    Harness h(11);
    h.s.outputCharset = c.charset;
    h.s.outputKind = c.kind;
    BuildCharTable(h.s, c.charset);
    uint32_t st = 0;
    WriteText16(reinterpret_cast<const uint16_t*>(input.data()), uint32_t(input.size()), st, h.s);
    ASSERT_EQ(st, 0u) << c.codec;
    if (c.kind == kKindLE) {
      std::u16string units;
      for (size_t i = 0; i + 1 < h.out().size(); i += 2) units += char16_t(uint8_t(h.out()[i]) | uint8_t(h.out()[i + 1]) << 8);
      EXPECT_EQ(wrap_fault(units, 1), "") << c.codec;
    } else if (c.kind == kKind8) {
      EXPECT_EQ(wrap_fault(h.out(), 1), "") << c.codec;
    }
    qm::test::write_file(dir / "out", h.out());
    std::string report;
    ASSERT_EQ(qm::test::command_output("python3 " + dir / "check.py" + " " + c.codec + " " + dir / "out" + " " + in_hex, report), 0);
    EXPECT_EQ(report, "") << c.codec;
  }
}

}  // namespace
}  // namespace pc::test

namespace pc::test {
namespace {

TEST(PagecastChars, FontTagsItemsAndComments) {
  Harness h(7);
  BuildCharTable(h.s, 0x00080101);
  uint32_t st = 0;
  SetFontSize(250, h.s);
  EXPECT_EQ(h.s.fontWanted.step, 3);
  EXPECT_EQ(h.s.lineUnit, 250u);
  SetColour(0x000080FF, h.s);
  SetFace("A \"B\"", h.s);
  SetCharAttribute(2, 1, h.s);
  FlushPendingFormat(st, h.s);
  WriteText8("x", st, h.s);
  SetColour(0, h.s);
  FlushPendingFormat(st, h.s);
  WriteTextItem(6, st, h.s);
  WriteTextItem(7, st, h.s);
  WriteTextItem(0x4E2D, st, h.s);  // not in iso-8859-1
  CloseFormatting(st, h.s);
  WriteComment("a--b-", st, h.s);
  EXPECT_EQ(h.out(),
            "<FONT COLOR=\"#FF8000\" SIZE=\"3\" FACE=\"A &quot;B&quot;\"><B>x</B></FONT>"
            "<FONT COLOR=\"#000000\" SIZE=\"3\" FACE=\"A &quot;B&quot;\"><B>&nbsp;-@</B></FONT><!-- a- -b-  -->");
  // Style-sheet flavours record the properties; size 0 before any size does nothing.
  Harness c(13);
  SetFontSize(0, c.s);
  SetFontSize(300, c.s);
  SetColour(0x123456, c.s);
  SetFace("Arial", c.s);
  EXPECT_EQ(c.s.styleSize, 300u);
  EXPECT_EQ(c.s.styleColour, 0x123456u);
  EXPECT_EQ(c.s.styleFace, "Arial");
  Harness g(1);
  SetFontSize(0, g.s);
  EXPECT_EQ(g.s.fontWanted.step, -1);
  for (auto [twips, step] : {std::pair{179u, 1}, {180u, 2}, {219u, 2}, {220u, 3}, {259u, 3}, {260u, 4}, {299u, 4},
                              {300u, 5}, {399u, 5}, {400u, 6}, {599u, 6}, {600u, 7}})
    EXPECT_EQ(FontStep(twips), step) << twips;
}

TEST(PagecastChars, ConfigureAndVerticalAlign) {
  Harness h(1);
  h.flavourOption = 13;
  h.writerFlags = 1;
  h.noBreaks = 1;
  bool classes = false;
  EXPECT_EQ(ConfigureWriter(0x00080101, kKind8, h.s, &classes), KVX_OK);
  EXPECT_EQ(h.s.flavour.bit, 0x4000);
  EXPECT_TRUE(classes);
  EXPECT_EQ(h.s.noLineBreaks, 1u);
  EXPECT_EQ(h.s.charText[0xE9], "&#233;");
  h.haveFlavour = false;
  EXPECT_EQ(ConfigureWriter(0x00080101, kKind8, h.s, &classes), KVXERR_BADPARAM);

  Harness v(7);
  uint32_t st = 0;
  SetVerticalAlign(-3, v.s);
  FlushCodes(st, v.s);
  SetVerticalAlign(4, v.s);
  FlushCodes(st, v.s);
  SetVerticalAlign(0, v.s);
  FlushCodes(st, v.s);
  EXPECT_EQ(v.out(), "<SUB></SUB><SUP></SUP>");
  Harness c(13);
  SetVerticalAlign(2, c.s);
  EXPECT_EQ(c.s.styleFlags, kStyleVertical);
}

TEST(PagecastChars, AnchorsAndLinks) {
  Harness h(11);
  BuildCharTable(h.s, 0x00080101);
  uint32_t st = 0;
  AddPendingAnchor(u"top \"1\"", h.s);
  AddPendingLink(u"b.htm#x", h.s);
  WritePendingAnchors(true, st, h.s);
  EXPECT_TRUE(h.s.pendingAnchors.empty());
  WritePendingLinks(st, h.s);
  WriteText8("go", st, h.s);
  EXPECT_TRUE(AnyLinkPending(h.s) == false);
  MarkLinkEnd(h.s);
  EXPECT_TRUE(AnyLinkPending(h.s));
  ClosePendingLinks(false, false, st, h.s);
  EXPECT_TRUE(h.s.pendingLinks.empty());
  // A link never marked closed is closed by force and freed with all.
  AddPendingLink(u"c.htm", h.s);
  WritePendingLinks(st, h.s);
  ClosePendingLinks(false, false, st, h.s);
  EXPECT_EQ(h.s.pendingLinks.size(), 1u);
  ClosePendingLinks(true, true, st, h.s);
  EXPECT_TRUE(h.s.pendingLinks.empty());
  EXPECT_EQ(h.out(), "<A NAME=\"top &quot;1&quot;\"></A><A HREF=\"b.htm#x\">go</A><A HREF=\"c.htm\"></A>");
  // Anchors not written are still freed; none are recorded under noAnchors.
  Harness n(11);
  n.s.noAnchors = 1;
  AddPendingAnchor(u"x", n.s);
  EXPECT_TRUE(n.s.pendingAnchors.empty());
  n.s.noAnchors = 0;
  AddPendingAnchor(u"x", n.s);
  WritePendingAnchors(false, st, n.s);
  EXPECT_TRUE(n.s.pendingAnchors.empty());
  EXPECT_EQ(n.out(), "");
}

}  // namespace
}  // namespace pc::test
