// The document readers in-process: format detection by content and by extension, the
// plain-text decode order with the Big5 character-set item, HTML text against Python's
// html.parser, RTF text against unrtf, PDF text against pdftotext and PDF object numbers
// bounded by the file's size, their structure (attributes, bookmarks, table spans, Big5
// fonts, hard spaces), the RTF tokenizer's bounds, the fall-back format through
// DAOpenDocument, and seeded corruptions of every fixture read in full.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "filters/framework/chunk_script.h"
#include "filters/framework/readers/reader.h"
#include "pagedoc/tests/fixtures.h"
#include "platform/process.h"
#include "testsupport/corrupt.h"
#include "testsupport/test_files.h"
#include "filters/framework/tests/reader_helpers.h"

namespace kvx::test {
namespace {

const std::string kData = QM_READERS_DATA;

// An OLE2 file whose one directory entry (at 512 + 128 * slot) names a stream.
std::string ole_with(const std::string& stream, size_t slot) {
  std::string s("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  s.resize(512 + 128 * (slot + 1), '\0');
  size_t at = 512 + 128 * slot;
  for (size_t i = 0; i < stream.size(); ++i) s[at + 2 * i] = stream[i];
  s[at + 0x40] = char((stream.size() + 1) * 2);
  s[at + 0x42] = 2;
  return s;
}

TEST(ReadersTest, DetectionByContentThenExtension) {
  std::string odt = std::string("PK\x03\x04", 4) + std::string(26, '\0') + "mimetype" +
                    "application/vnd.oasis.opendocument.text";
  std::string ods_template = std::string("PK\x03\x04", 4) + std::string(26, '\0') + "mimetype" +
                             "application/vnd.oasis.opendocument.spreadsheet-template";
  struct Case {
    std::string bytes, name;
    uint32_t id;
  } cases[] = {
      {"%PDF-1.4\n", "x.doc", KVXFI_PDF},
      {"junk\n%PDF-1.7", "", KVXFI_PDF},
      {"QDoc\x01\x00", "a.txt", KVXFI_PGX},
      {ole_with("WordDocument", 1), "", KVXFI_DOC},
      {ole_with("Workbook", 3), "", KVXFI_XLS},
      {ole_with("Book", 0), "a.doc", KVXFI_XLS},
      {ole_with("PowerPoint Document", 2), "", KVXFI_PPT},
      {ole_with("Contents", 0), "a.ppt", KVXFI_PPT},  // unknown streams: the extension decides
      {odt, "", KVXFI_ODT},
      {ods_template, "", KVXFI_UNKNOWN},
      {std::string("PK\x03\x04", 4) + "[Content_Types].xml....word/document.xml", "", KVXFI_DOCX},
      {std::string("PK\x03\x04", 4) + "[Content_Types].xml....xl/workbook.xml", "", KVXFI_XLSX},
      {std::string("PK\x03\x04", 4) + "stuff", "b.XLSX", KVXFI_XLSX},
      {"{\\rtf1\\ansi hello}", "a.txt", KVXFI_RTF},
      {"\xEF\xBB\xBF{\\rtf1}", "", KVXFI_RTF},
      {"  <!DOCTYPE HTML PUBLIC>", "", KVXFI_HTML},
      {"<HTML><body>x", "a.txt", KVXFI_HTML},
      {"<?xml version=\"1.0\"?>\n<html xmlns=\"x\">", "", KVXFI_HTML},
      {std::string("\xFF\xFE<\0h\0t\0m\0l\0>\0", 14), "", KVXFI_HTML},
      {"\xEF\xBB\xBFplain", "", KVXFI_TEXT},
      {std::string("\xFE\xFF\0a", 4), "", KVXFI_TEXT},
      {"plain words", "notes.TXT", KVXFI_TEXT},
      {"plain words", "dir.htm/notes", KVXFI_UNKNOWN},
      {"<p>fragment", "page.htm", KVXFI_HTML},
      {"plain words", "", KVXFI_UNKNOWN},
      {"kvx-chunks 1\nsection wp\n", "a.txt", KVXFI_CHUNKSCRIPT},
      {"", "", KVXFI_UNKNOWN},
  };
  for (const Case& c : cases) EXPECT_EQ(readers::detect_format(c.bytes, c.name), c.id) << c.name << " " << c.bytes;
}

TEST(ReadersTest, TextDecodeOrderAndLines) {
  struct Case {
    std::string bytes, text;
    bool big5;
  } cases[] = {
      {"one\r\ntwo\rthree\n\nfive", "one\ntwo\nthree\n\nfive\n", false},
      {"caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80\n", "caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80\n", false},
      {"\xEF\xBB\xBFmarked\n", "marked\n", false},
      {std::string("\xFF\xFEh\0i\0\n\0-\x4E", 10), "hi\n\xE4\xB8\xAD\n", false},
      {std::string("\xFE\xFF\0h\0i", 6), "hi\n", false},
      {"\xA4\xA4\xA4\xE5 Big5\n\xB4\xFA\xB8\xD5", "\xE4\xB8\xAD\xE6\x96\x87 Big5\n\xE6\xB8\xAC\xE8\xA9\xA6\n", true},
      // Not UTF-8, not Big5 (0x80 is no lead byte): CP1252.
      {"\x80 5 caf\xE9", "\xE2\x82\xAC 5 caf\xC3\xA9\n", false},
      // A CP1252 byte without a character is replaced, the rest kept.
      {"a\x81" "b\xE9", "a\xEF\xBF\xBD" "b\xC3\xA9\n", false},
      {"", "", false},
  };
  for (const Case& c : cases) {
    auto m = read(KVXFI_TEXT, c.bytes);
    ASSERT_TRUE(m) << c.bytes;
    EXPECT_EQ(model_text(*m), c.text) << c.bytes;
    bool has_charset = script_of(*m).find("item 25 0x13B60000 0 0\n") != std::string::npos;
    EXPECT_EQ(has_charset, c.big5) << c.bytes;
  }
}

// The HTML fixtures' words equal those that Python's html.parser finds.
TEST(ReadersTest, HtmlTextAgreesWithPythonHtmlParser) {
  struct Case {
    const char* file;
    const char* codec;
  } cases[] = {{"latin.html", "utf-8"}, {"big5.html", "cp950"}};
  for (const Case& c : cases) {
    std::string path = kData + "/" + c.file;
    qm::ProcessOptions opt;
    opt.argv = {"python3", kData + "/html_text.py", path, c.codec};
    opt.timeout_ms = 60000;
    qm::ProcessResult r = qm::process_run(opt);
    ASSERT_TRUE(r.exited && r.exit_code == 0) << c.file << r.error;
    std::string bytes = qm::test::read_file(path);
    ASSERT_EQ(readers::detect_format(bytes, path), uint32_t(KVXFI_HTML));
    auto m = read(KVXFI_HTML, bytes);
    ASSERT_TRUE(m) << c.file;
    EXPECT_EQ(words(model_text(*m)), r.output) << c.file;
  }
}

TEST(ReadersTest, HtmlStructure) {
  auto m = read(KVXFI_HTML, qm::test::read_file(kData + "/latin.html"));
  ASSERT_TRUE(m);
  std::string s = script_of(*m);
  for (const char* want : {
           // The title and the author meta as properties 6 and 4; h1 with outline level 2.
           "group 0xA0010004 6 254\ntext unicode \"Readers sample\"\nend\n",
           "group 0xA0010004 4 254\ntext unicode \"Quillmere\"\nend\n",
           "bookmark \"top\"\nend\nitem 28 0 2 0\ntext unicode \"Heading \"\nitem 8 2 1 0\ntext unicode \"one\"\n"
           "item 8 2 0 0\npara\n",
           "item 8 3 1 0\ntext unicode \"italic\"\nitem 8 3 0 0\n", "item 8 4 1 0\n", "item 8 12 1 0\n",
           "item 8 10 1 0\ntext unicode \"2\"\nitem 8 10 0 0\n", "item 8 11 1 0\n",
           "text unicode \"A line\"\nbreak 22\n", "bookmark \"mark\"\nend\ntext unicode \"a bookmark and \"\ngroup 0x20000001 7 19\n"
           "text unicode \"a link\"\nend\ntext unicode \".\"\npara\n",
           // font: the face's font item, size +2 (18 points) and colour; the enclosing
           // values come back at each end; unknown colours and sizes change nothing.
           "item 10 0 0 0\nitem 9 360 0 0\nitem 60 0 33023 0\ntext unicode \"big \"\n"
           "item 9 200 0 0\nitem 60 0 0x800000 0\ntext unicode \"small\"\nitem 9 360 0 0\nitem 60 0 33023 0\n"
           "text unicode \" orange\"\nitem 10 0xFFFFFFFF 0 0\nitem 9 240 0 0\nitem 60 0 0 0\n"
           "text unicode \" plain.\"\npara\n",
           // The face's font item: its name "Courier New" (11 units) from unit 26 of range 9.
           "0043006F007500720069006500720020004E0065007700\n",
           "record 12 000000001A0000000000B0140B00000000000000\n",
           // Nested b: one bold on and one off around the whole.
           "item 8 2 1 0\ntext unicode \"bold nested still\"\nitem 8 2 0 0\n",
           "text unicode \"Spans\"\npara\ntable 3 3\ncell\ntext unicode \"H1\"\nendcell\ncell 2 1\n",
           "cell 1 2\ntext unicode \"R1-2\"\n",
           // The second body row starts at column 1: column 0 is under the row span.
           "item 18 2 1 0x10001\ntext unicode \"e\"\n", "table 1 1\n",
           "text unicode \"inner\"\nendcell\n",
           "text unicode \"pre line 1\"\npara\ntext unicode \"  pre line 2\"\npara\n"})
    EXPECT_NE(s.find(want), std::string::npos) << want << "\n---\n" << s;
  EXPECT_EQ(s.find("not text"), std::string::npos);
  EXPECT_EQ(model_text(*m).find("Readers sample"), std::string::npos);
  EXPECT_EQ(s.find("0x13B60000"), std::string::npos);
  // Every table start has its nesting open and close.
  EXPECT_EQ(m->unit_count(KVXRANGE_NESTING), 4u);

  auto big5 = read(KVXFI_HTML, qm::test::read_file(kData + "/big5.html"));
  ASSERT_TRUE(big5);
  EXPECT_NE(script_of(*big5).find("item 25 0x13B60000 0 0\n"), std::string::npos);
}

// The style attribute's font-family (its first family), font-size (lengths, sizes relative
// to the enclosing one, keywords) and color (hex, rgb(), names) as font, size and colour
// items; the enclosing values back at the element's end; values not understood and values
// already in force change nothing.
TEST(ReadersTest, HtmlStyleFonts) {
  struct Case {
    const char* html;
    const char* script;
  } cases[] = {
      {"<p>a<span style=\"font-family: 'DejaVu Sans', serif; font-size: 15pt; color: rgb(255, 0, 50%)\">b</span>c",
       "text unicode \"a\"\nitem 10 0 0 0\nitem 9 300 0 0\nitem 60 0 0x8000FF 0\ntext unicode \"b\"\n"
       "item 10 0xFFFFFFFF 0 0\nitem 9 240 0 0\nitem 60 0 0 0\ntext unicode \"c\"\npara\n"},
      {"<div style=\"font-size:20px\">a<b style=\"font-size:150%;COLOR:#0F0 !important\">b</b>"
       "<i style=\"font-size:x-large\">c</i><i style=\"font-size:2em\">d</i></div>",
       "item 9 300 0 0\ntext unicode \"a\"\nitem 8 2 1 0\nitem 9 450 0 0\nitem 60 0 65280 0\n"
       "text unicode \"b\"\nitem 9 300 0 0\nitem 60 0 0 0\nitem 8 2 0 0\nitem 8 3 1 0\nitem 9 360 0 0\n"
       "text unicode \"c\"\nitem 9 300 0 0\nitem 8 3 0 0\nitem 8 3 1 0\nitem 9 600 0 0\ntext unicode \"d\"\n"
       "item 9 300 0 0\nitem 8 3 0 0\nitem 9 240 0 0\npara\n"},
      {"<p style=\"font-size: big; color: rgb(1,2); font-family: ; font-size: 12pt; color: black x\">a</p>",
       "section wp\ntext unicode \"a\"\npara\n"},
  };
  for (const Case& c : cases) {
    auto m = read(KVXFI_HTML, c.html);
    ASSERT_TRUE(m) << c.html;
    std::string s = script_of(*m);
    EXPECT_NE(s.find(c.script), std::string::npos) << c.html << "\n---\n" << s;
  }
}

// Lists: each marker's list style defined once at its first use (its 12 level items and
// its marker group: a numbering field and "." when numbered, else the bullet); each li a
// list item of its depth, numbered from start, value setting the number from there on;
// ul bullets by depth; an li outside a list a bulleted item. Markers are no running text.
TEST(ReadersTest, HtmlLists) {
  auto m = read(KVXFI_HTML, "<ul><li>a<ol type=\"i\" start=\"3\"><li>b<li value=\"7\">c<li></ol>"
                            "<ul><li>x<ul type=square><li>y</ul></ul><li>d</ul><li>e");
  ASSERT_TRUE(m);
  std::string s = script_of(*m);
  for (const char* want : {
           "section wp\ngroup 0xA008001C 256\nitem 29 0 0 28\nitem 29 0 1 64\n",
           "item 29 0 11 424\ngroup 0xA0120000 256\ntext unicode \"\xE2\x80\xA2\"\nend\nend\n"
           "item 28 0 256 0\nitem 93 10 0 1\nfield 10\ntext unicode \"a\"\npara\n",
           "group 0xA0120000 257\nfield 10\ntext unicode \".\"\nend\nend\n"
           "item 28 0 257 0\nitem 93 10 1 1\nitem 30 10 2 3\nfield 10\ntext unicode \"b\"\npara\n"
           "item 28 0 257 0\nitem 93 10 1 1\nitem 30 10 2 7\nfield 10\ntext unicode \"c\"\npara\n"
           "item 28 0 257 0\nitem 93 10 1 1\nitem 30 10 2 8\nfield 10\npara\n",
           // The second ul level: a circle; the square named by its type on the third.
           "group 0xA0120000 258\ntext unicode \"\xE2\x97\xA6\"\nend\nend\nitem 28 0 258 0\nitem 93 10 1 1\n",
           "group 0xA0120000 259\ntext unicode \"\xE2\x96\xAA\"\nend\nend\nitem 28 0 259 0\nitem 93 10 2 1\n",
           "item 28 0 256 0\nitem 93 10 0 1\nfield 10\ntext unicode \"d\"\npara\n"
           "item 28 0 256 0\nitem 93 10 0 1\nfield 10\ntext unicode \"e\"\npara\n",
           // The ordered style's record: list (4), outline 0, list kind 1, no parent; its
           // levels lower-case roman (3 | 0x20000), numbered, marker group 257.
           "040000000000000001000000FFFFFFFF"})
    EXPECT_NE(s.find(want), std::string::npos) << want << "\n---\n" << s;
  // Level records (range 3, whatever its lines): word 1 the bullet, 2 numbered, 6 the
  // marker group, 8 the counter kind: the ordered style's and the first bulleted one's.
  std::string records;
  for (size_t at = 0; (at = s.find("record 3 ", at)) != std::string::npos; at += 9)
    records += s.substr(at + 9, s.find('\n', at) - at - 9);
  EXPECT_NE(records.find("000000000000000001000000000000000000000000000000010100000000000003000200"), std::string::npos)
      << records;
  EXPECT_NE(records.find("000000002220000000000000000000000000000000000000000100000000000008000000"), std::string::npos)
      << records;
  EXPECT_EQ(model_text(*m), "a\nb\nc\n\nx\ny\nd\ne\n");
}

// latin.rtf's words equal those of unrtf --text (its Latin-1 output, header lines dropped).
TEST(ReadersTest, RtfTextAgreesWithUnrtf) {
  std::string path = kData + "/latin.rtf";
  qm::ProcessOptions opt;
  opt.argv = {"unrtf", "--text", path};
  opt.timeout_ms = 60000;
  qm::ProcessResult r = qm::process_run(opt);
  ASSERT_TRUE(r.exited && r.exit_code == 0) << r.error;
  size_t body = r.output.find("-----------------\n");
  ASSERT_NE(body, std::string::npos) << r.output;
  std::string oracle;
  for (char c : r.output.substr(body + 18)) {
    uint8_t b = uint8_t(c);
    if (b < 0x80) oracle += c;
    else oracle += {char(0xC0 | b >> 6), char(0x80 | (b & 0x3F))};
  }
  std::string bytes = qm::test::read_file(path);
  ASSERT_EQ(readers::detect_format(bytes, path), uint32_t(KVXFI_RTF));
  auto m = read(KVXFI_RTF, bytes);
  ASSERT_TRUE(m);
  EXPECT_EQ(words(model_text(*m)), words(oracle));
}

TEST(ReadersTest, RtfStructure) {
  auto m = read(KVXFI_RTF, qm::test::read_file(kData + "/sample.rtf"));
  ASSERT_TRUE(m);
  std::string s = script_of(*m);
  for (const char* want : {
           // \info's title and author as properties 6 and 4.
           "section wp\nitem 25 0x13B60000 0 0\ngroup 0xA0010004 6 254\ntext unicode \"Sample\"\nend\n"
           "group 0xA0010004 4 254\ntext unicode \"Quillmere\"\nend\n"
           "item 10 0 0 0\ntext unicode \"Plain text with \"\nitem 8 2 1 0\ntext unicode \"bold\"\nitem 8 2 0 0\n",
           "item 8 4 1 0\ntext unicode \"under\"\nitem 8 4 0 0\n", "item 8 12 1 0\n",
           "text unicode \" and H\"\nitem 8 10 1 0\ntext unicode \"2\"\nitem 8 10 0 0\n",
           // \'e9 in CP1252, \u with its ? skipped, Big5 pairs in the fcharset136 font.
           // The f1 font's item around them (font items 0 and 1 are Times New Roman and PMingLiU).
           "text unicode \"Caf\xC3\xA9 \xE2\x82\xAC" "5 and \"\nitem 10 1 0 0\n"
           "text unicode \"\xE4\xB8\xAD\xE6\x96\x87 \xE6\xB8\xAC\xE8\xA9\xA6\"\nitem 10 0 0 0\nbreak 22\n",
           "text unicode \"next line\\u{0009}tabbed\"\npara\n",
           // The HYPERLINK field's result inside a hyperlink group naming its target in range 9.
           "bookmark \"mark\"\nend\ntext unicode \"Bookmark here and \"\ngroup 0x20000001 27 19\n"
           "text unicode \"link text\"\nend\ntext unicode \" after.\"\n",
           // The footnote's text in its note group, at its place.
           "text unicode \"Note\"\nitem 8 11 1 0\nitem 8 11 0 0\nitem 44 1 1 0\ngroup 0xA00A0000 1 1\n"
           "text unicode \" The footnote.\"\npara\nend\ntext unicode \" follows.\"\n",
           "table 3 3\ncell 2 1\ntext unicode \"AB\"\nendcell\ncell\ntext unicode \"C\"\n",
           "cell 1 2\ntext unicode \"D\"\n",
           // Row 3 starts at column 1: column 0 is under D's row span.
           "item 18 2 1 0x10001\ntext unicode \"H\"\n",
           "endtable\ntext unicode \"After the table.\"\npara\ntext unicode \"Binary d end.\"\npara\n"})
    EXPECT_NE(s.find(want), std::string::npos) << want << "\n---\n" << s;
  for (const char* absent : {"Times", "heading", "hidden", "0102", "HYPERLINK"})
    EXPECT_EQ(s.find(absent), std::string::npos) << absent;
  EXPECT_EQ(model_text(*m).find("Quillmere"), std::string::npos);
}

// Headers and footers (all four forms of each) as page parts at their place: the
// definition {47, kind, number}, the text in its group, the reference {43, definition's
// item id, number}; the enclosing formatting back after it; notes inside them give no
// note; a header after a table's last row ends the table; one inside a cell is skipped.
TEST(ReadersTest, RtfHeadersAndFooters) {
  struct Case {
    std::string rtf, script;
  } cases[] = {
      {"{\\rtf1{\\header\\pard Head\\par}{\\footerf\\pard\\b Foot}Body\\par}",
       "section wp\nitem 47 8 1 0\ngroup 0xA00B0000 1 8\ntext unicode \"Head\"\npara\nend\nitem 43 0 1 0\n"
       "item 47 16 2 0\ngroup 0xA00B0000 2 16\nitem 8 2 1 0\ntext unicode \"Foot\"\npara\nend\nitem 43 6 2 0\n"
       "item 8 2 0 0\ntext unicode \"Body\"\npara\n"},
      {"{\\rtf1{\\headerl A{\\footnote N}{\\headerr B}}C\\par}",
       "section wp\nitem 47 8 1 0\ngroup 0xA00B0000 1 8\ntext unicode \"A\"\npara\nend\nitem 43 0 1 0\n"
       "text unicode \"C\"\npara\n"},
      {"{\\rtf1\\trowd\\cellx100\\intbl x\\cell\\row\\pard{\\footer F}y\\par}",
       "endtable\nitem 47 16 1 0\ngroup 0xA00B0000 1 16\ntext unicode \"F\"\npara\nend\n"},
      {"{\\rtf1\\trowd\\cellx100\\intbl x{\\header H}\\cell\\row}",
       "cell\ntext unicode \"x\"\nendcell\n"},
  };
  for (const Case& c : cases) {
    auto m = read(KVXFI_RTF, c.rtf);
    ASSERT_TRUE(m) << c.rtf;
    std::string s = script_of(*m);
    EXPECT_NE(s.find(c.script), std::string::npos) << c.rtf << "\n---\n" << s;
    EXPECT_EQ(s.find("\"N\""), std::string::npos) << s;
    EXPECT_EQ(s.find("\"H\""), std::string::npos) << s;
  }
}

// A hard space (RTF \~, HTML &nbsp;, U+00A0 in the text) is the special item {0x18, 6}
// between the text runs, never a character the Big5 page would lose as "@".
TEST(ReadersTest, HardSpacesAreSpecialItems) {
  const struct {
    uint32_t format;
    const char* source;
  } kCases[] = {
      {KVXFI_RTF, "{\\rtf1\\ansi Hard\\~space and two\\~\\~kept\\par}"},
      {KVXFI_HTML, "<html><body><p>Hard&nbsp;space and two&#160;\xC2\xA0kept</p></body></html>"},
  };
  for (const auto& c : kCases) {
    auto m = read(c.format, c.source);
    ASSERT_TRUE(m) << c.source;
    std::string s = script_of(*m);
    EXPECT_NE(s.find("text unicode \"Hard\"\nitem 24 6 0 0\ntext unicode \"space and two\"\n"
                     "item 24 6 0 0\nitem 24 6 0 0\ntext unicode \"kept\"\n"),
              std::string::npos)
        << c.source << "\n---\n" << s;
    EXPECT_EQ(s.find("\\u{00A0}"), std::string::npos) << s;
  }
}

// Paragraph styles with the outline levels of their stylesheet entries: their own
// \outlinelevel, a "heading N" name, a \sbasedon parent's; a style the sheet lacks and
// the body style give no level; a direct \outlinelevel; a cycle of parents ends.
TEST(ReadersTest, RtfStylesWithOutlineLevels) {
  auto m = read(KVXFI_RTF,
                "{\\rtf1{\\stylesheet{\\s0 Normal;}{\\s1\\outlinelevel0 Heading 1;}{\\s2\\sbasedon1 Sub;}"
                "{\\s3 heading 3;}{\\*\\cs10 Char;}{\\s4\\sbasedon5 X;}{\\s5\\sbasedon4 Y;}}"
                "\\pard\\s2 A\\par\\pard\\s3 B\\par\\pard\\s9 C\\par\\pard\\s0 D\\par"
                "\\pard\\outlinelevel4 E\\par\\pard\\s4 F\\par}");
  ASSERT_TRUE(m);
  EXPECT_EQ(script_of(*m),
            "kvx-chunks 1\nsection wp\nitem 28 2 2 0\ntext unicode \"A\"\npara\nitem 28 3 4 0\ntext unicode \"B\"\n"
            "para\nitem 28 9 0 0\ntext unicode \"C\"\npara\ntext unicode \"D\"\npara\nitem 28 0 6 0\n"
            "text unicode \"E\"\npara\nitem 28 4 0 0\ntext unicode \"F\"\npara\n");
}

// Bounds of the tokenizer: deep groups, \bin past the end, cut escapes and \u runs.
// Text colours: \cf over the colour table, the enclosing colour back at each group's
// end, \plain and the automatic entry 0 giving the default; in tables as well.
TEST(ReadersTest, RtfColours) {
  const std::string table = "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue999;}";
  struct Case {
    std::string rtf, script;
  } cases[] = {
      {"{\\rtf1" + table + "a{\\cf1 red{\\cf2 navy}red}\\cf2 n\\plain p\\cf9 q\\par}",
       "text unicode \"a\"\nitem 60 0 255 0\ntext unicode \"red\"\nitem 60 0 0xFF0000 0\ntext unicode \"navy\"\n"
       "item 60 0 255 0\ntext unicode \"red\"\nitem 60 0 0 0\nitem 60 0 0xFF0000 0\ntext unicode \"n\"\n"
       "item 60 0 0 0\ntext unicode \"p\"\nitem 60 0 0 0\ntext unicode \"q\"\npara\n"},
      {"{\\rtf1" + table + "\\trowd\\cellx100\\intbl{\\cf1 x}y\\cell\\row}",
       "cell\nitem 60 0 255 0\ntext unicode \"x\"\nitem 60 0 0 0\ntext unicode \"y\"\nendcell\n"},
  };
  for (const Case& c : cases) {
    auto m = read(KVXFI_RTF, c.rtf);
    ASSERT_TRUE(m) << c.rtf;
    std::string s = script_of(*m);
    EXPECT_NE(s.find(c.script), std::string::npos) << c.rtf << "\n---\n" << s;
  }
}

// Fonts and sizes: \f names its font table entry (the name decoded in the entry's own
// character set; groups inside an entry such as \panose and \falt are no part of it),
// \fs half-points as twips; the enclosing font back at a group's end, \plain giving
// \deff and 12 points; an unknown number is the document's font; in tables as well.
TEST(ReadersTest, RtfFonts) {
  const std::string table =
      "{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\fmodern{\\*\\panose 02070309}Courier{\\*\\falt Cour};}"
      "{\\f2\\fnil\\fcharset136 \\'b7\\'73\\'b2\\'d3\\'a9\\'fa\\'c5\\'e9;}}";
  struct Case {
    std::string rtf, script;
  } cases[] = {
      {"{\\rtf1\\deff0" + table + "a{\\f1\\fs20 b}\\f2 c\\plain d\\f7 e\\par}",
       "text unicode \"a\"\nitem 10 0 0 0\nitem 9 200 0 0\ntext unicode \"b\"\nitem 10 0xFFFFFFFF 0 0\n"
       "item 9 240 0 0\nitem 10 1 0 0\ntext unicode \"c\"\nitem 10 2 0 0\ntext unicode \"d\"\n"
       "item 10 0xFFFFFFFF 0 0\ntext unicode \"e\"\npara\n"},
      {"{\\rtf1" + table + "\\trowd\\cellx100\\intbl{\\fs36 x}y\\cell\\row}",
       "cell\nitem 9 360 0 0\ntext unicode \"x\"\nitem 9 240 0 0\ntext unicode \"y\"\nendcell\n"},
  };
  for (const Case& c : cases) {
    auto m = read(KVXFI_RTF, c.rtf);
    ASSERT_TRUE(m) << c.rtf;
    std::string s = script_of(*m);
    EXPECT_NE(s.find(c.script), std::string::npos) << c.rtf << "\n---\n" << s;
  }
  // The names in range 9 (units little-endian): "Courier" first (the first font met),
  // then the Big5 name, then "Times New Roman".
  auto m = read(KVXFI_RTF, cases[0].rtf);
  ASSERT_TRUE(m);
  std::string s = script_of(*m);
  EXPECT_NE(s.find("record 9 43006F0075007200690065007200B065307D0E66D49A5400"), std::string::npos) << s;
}

TEST(ReadersTest, RtfBoundsHoldOnHostileInput) {
  struct Case {
    std::string rtf, text;
  } cases[] = {
      {"{\\rtf1 " + std::string(100000, '{') + "deep" + std::string(100000, '}') + " after\\par}", " after\n"},
      {"{\\rtf1 a\\bin999999999 bcdef}", "a\n"},
      {"{\\rtf1 a\\bin-5 b\\par}", "ab\n"},
      {"{\\rtf1 x\\'e", "x\n"},
      {"{\\rtf1 x\\'zz y}", "x y\n"},
      {"{\\rtf1 \\uc2\\u-3 ab c\\u21704\\'a4\\'a4 d}", "\xEF\xBF\xBD c\xE5\x93\x88 d\n"},
      {"{\\rtf1 \\" + std::string(5000, 'a') + "1234567890123 z}", "z\n"},
      {"{\\rtf1\\ansicpg950 \\'a4\\'a4\\'a4}", "\xE4\xB8\xAD\xEF\xBF\xBD\n"},
      {"{\\rtf1 \\cell\\row\\intbl a\\cell\\row\\intbl\\trowd b\\cell", "a\t\nb\t\n"},
  };
  for (const Case& c : cases) {
    auto m = read(KVXFI_RTF, c.rtf);
    ASSERT_TRUE(m) << c.rtf.substr(0, 60);
    EXPECT_EQ(model_text(*m), c.text) << c.rtf.substr(0, 60);
  }
  KVXSTATUS st = KVX_OK;
  EXPECT_FALSE(read(KVXFI_RTF, "not rtf", &st));
  EXPECT_EQ(st, KVXERR_BADFORMAT);
}

// sample.pdf's words equal pdftotext's; its pages end in page breaks.
TEST(ReadersTest, PdfTextAgreesWithPdftotext) {
  std::string path = kData + "/sample.pdf";
  qm::ProcessOptions opt;
  opt.argv = {"pdftotext", "-enc", "UTF-8", path, "-"};
  opt.timeout_ms = 60000;
  qm::ProcessResult r = qm::process_run(opt);
  ASSERT_TRUE(r.exited && r.exit_code == 0) << r.error;
  std::string bytes = qm::test::read_file(path);
  ASSERT_EQ(readers::detect_format(bytes, path), uint32_t(KVXFI_PDF));
  auto m = read(KVXFI_PDF, bytes);
  ASSERT_TRUE(m);
  EXPECT_EQ(words(model_text(*m)), words(r.output));
  EXPECT_NE(script_of(*m).find("text unicode \"and line two\"\npara\nbreak 23\ntext unicode \"Second page text\"\npara\n"),
            std::string::npos)
      << script_of(*m);
  KVXSTATUS st = KVX_OK;
  EXPECT_FALSE(read(KVXFI_PDF, "%PDF-1.4\nnothing else", &st));
  EXPECT_EQ(st, KVXERR_BADFORMAT);
}

// A PDF whose object numbers go far past what its size can hold (poppler would size its
// cross-reference table by them: 320 MB for one "7000000 0 obj" header) is refused as
// damaged before poppler sees it; numbers a small file may hold still read.
TEST(ReadersTest, PdfObjectNumbersPastTheFileSizeAreRefused) {
  const std::string sample = qm::test::read_file(kData + "/sample.pdf");
  const std::string text = model_text(*read(KVXFI_PDF, sample));
  std::string big_size = sample;
  big_size.replace(big_size.find("/Size"), 5, "/Size 9000000 /X");
  struct Case {
    const char* name;
    std::string bytes;
    bool read;
  } cases[] = {
      {"object 60000 appended", sample + "\n60000 0 obj\n<<>>\nendobj\n", true},
      {"object 7000000 appended", sample + "\n7000000 0 obj\n<<>>\nendobj\n", false},
      {"object number of 30 digits", sample + "\n" + std::string(30, '9') + " 0 obj\n", false},
      {"trailer /Size 9000000", big_size, false},
  };
  for (const Case& c : cases) {
    KVXSTATUS st = KVX_OK;
    auto m = read(KVXFI_PDF, c.bytes, &st);
    EXPECT_EQ(bool(m), c.read) << c.name;
    if (c.read) {
      EXPECT_EQ(model_text(*m), text) << c.name;
    } else {
      EXPECT_EQ(st, KVXERR_BADFORMAT) << c.name;
    }
  }
}

// A PGX document through kvxdump in the installed layout, libpaglet.so beside it: its
// pages' Big5 text, a page break between pages, the Big5 character-set item, its
// properties.
TEST(ReadersTest, PgxPagesThroughPaglet) {
  const char* dist = std::getenv("QM_DIST_DIR");
  ASSERT_NE(dist, nullptr);
  std::string dir = ::testing::TempDir() + "/readers_pgx";
  std::filesystem::create_directories(dir);
  const auto& fx = qm::pgx::test::kPlainFixture;
  qm::test::write_file(dir + "/plain.pgx", std::string(fx.begin(), fx.end()));
  qm::ProcessOptions opt;
  opt.argv = {std::string(dist) + "/kvxdump", "--script", dir + "/plain.pgx"};
  opt.timeout_ms = 60000;
  opt.stderr_mode = qm::ProcessStderr::Merge;
  qm::ProcessResult r = qm::process_run(opt);
  ASSERT_TRUE(r.exited && r.exit_code == 0) << r.output;
  EXPECT_EQ(r.output,
            "kvx-chunks 1\nsection wp\nitem 25 0x13B60000 0 0\n"
            // Title, author and description as properties 6, 4 and 1.
            "group 0xA0010004 6 254\ntext unicode \"Quill Title\"\nend\n"
            "group 0xA0010004 4 254\ntext unicode \"Alice\"\nend\n"
            "group 0xA0010004 1 254\ntext unicode \"Test\"\nend\n"
            "text unicode \" HelloWorld\"\npara\nbreak 23\n"
            "text unicode \" \xE4\xB8\xAD abc de\"\npara\n");
  qm::test::write_file(dir + "/broken.pgx", "QDoc broken");
  opt.argv = {std::string(dist) + "/kvxdump", "--script", dir + "/broken.pgx"};
  r = qm::process_run(opt);
  EXPECT_TRUE(r.exited && r.exit_code == 1) << r.output;
  EXPECT_NE(r.output.find("status 18"), std::string::npos) << r.output;
}

TEST(ReadersTest, UnknownAndUnsupportedFormats) {
  KVXSTATUS st = KVX_OK;
  EXPECT_FALSE(read(KVXFI_UNKNOWN, "x", &st));
  EXPECT_EQ(st, KVXERR_UNKNOWNFORMAT);
  EXPECT_FALSE(read(KVXFI_PPTX, "PK\x03\x04", &st));
  EXPECT_EQ(st, KVXERR_UNSUPPORTED);
}

// Every variant is read whole and its model walked; under the sanitizers a read past a
// bound or a leak fails the test.
TEST(ReadersTest, SeededCorruptionsReadCleanly) {
  qm::test::VariantTrace trace;
  struct Source {
    std::string name, bytes;
    uint32_t format;
  } sources[] = {
      {"latin.html", qm::test::read_file(kData + "/latin.html"), KVXFI_HTML},
      {"big5.html", qm::test::read_file(kData + "/big5.html"), KVXFI_HTML},
      {"big5.txt", "\xA4\xA4\xA4\xE5 Big5\r\n\xB4\xFA\xB8\xD5\n", KVXFI_TEXT},
      {"sample.rtf", qm::test::read_file(kData + "/sample.rtf"), KVXFI_RTF},
      {"latin.rtf", qm::test::read_file(kData + "/latin.rtf"), KVXFI_RTF},
      {"sample.pdf", qm::test::read_file(kData + "/sample.pdf"), KVXFI_PDF},
      {"utf16.txt", std::string("\xFF\xFEh\0i\0\n\0-\x4E\r\0", 12), KVXFI_TEXT},
  };
  for (const Source& src : sources) {
    qm::test::Corruptor corrupt(27);
    for (int v = 0; v < 150; ++v) {
      qm::test::Edits edits = corrupt.any(src.bytes.size());
      std::string bytes = src.bytes;
      qm::test::apply_edits(bytes, edits);
      trace.set(src.name, edits);
      readers::detect_format(bytes, src.name);
      KVXSTATUS st = KVX_OK;
      auto m = read(src.format, bytes, &st);
      ASSERT_TRUE(st == KVX_OK || st == KVXERR_BADFORMAT || st == KVXERR_ENCRYPTED)
          << src.name << qm::test::describe(edits);
      if (m) {
        model_text(*m);
        std::string s;
        write_chunk_script(*m, s, nullptr);
      }
    }
  }
}

}  // namespace
}  // namespace kvx::test
