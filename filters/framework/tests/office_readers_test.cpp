// The office readers in-process: DOCX, ODT, XLSX and ODS text against Python's zipfile
// and xml.etree (office_text.py), their structure (headings and outline levels through
// style parents, attributes, table spans, notes, hyperlinks, bookmarks, properties; sheets
// with their date systems, cells, values and number formats), Excel format codes compiled
// to elements, packages locked with a password, the ZIP caps, and seeded corruptions of
// every fixture read in full.
#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "filters/framework/chunk_script.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/sheet_writer.h"
#include "platform/process.h"
#include "testsupport/corrupt.h"
#include "testsupport/test_files.h"
#include "filters/framework/tests/reader_helpers.h"

namespace kvx::test {
namespace {

const std::string kData = QM_READERS_DATA;

// A ZIP archive of the parts, built with libzip (stored or deflated).
std::string make_zip(const std::vector<std::pair<std::string, std::string>>& parts, bool deflate = true) {
  std::string path = ::testing::TempDir() + "/office_" + std::to_string(::getpid()) + ".zip";
  std::filesystem::remove(path);
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  EXPECT_NE(z, nullptr);
  for (const auto& [name, bytes] : parts) {
    zip_source_t* src = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
    zip_int64_t i = zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8);
    EXPECT_GE(i, 0);
    zip_set_file_compression(z, zip_uint64_t(i), deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
  }
  EXPECT_EQ(zip_close(z), 0);
  std::string out = qm::test::read_file(path);
  std::filesystem::remove(path);
  return out;
}

const std::string kDocxMain =
    "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>"
    "<w:p><w:r><w:t>Hello</w:t></w:r></w:p></w:body></w:document>";

TEST(OfficeReadersTest, TextAgreesWithPythonZipfile) {
  for (std::string name : {"sample.docx", "sample.odt", "sample.xlsx", "sample.ods"}) {
    std::string path = kData + "/" + name;
    qm::ProcessOptions opt;
    opt.argv = {"python3", kData + "/office_text.py", path};
    opt.timeout_ms = 60000;
    qm::ProcessResult r = qm::process_run(opt);
    ASSERT_TRUE(r.exited && r.exit_code == 0) << r.error;
    std::string bytes = qm::test::read_file(path);
    uint32_t format = readers::detect_format(bytes, "");
    EXPECT_EQ(format, uint32_t(name.ends_with("docx")   ? KVXFI_DOCX
                               : name.ends_with("odt")  ? KVXFI_ODT
                               : name.ends_with("xlsx") ? KVXFI_XLSX
                                                        : KVXFI_ODS));
    auto m = read(format, bytes);
    ASSERT_TRUE(m) << name;
    EXPECT_EQ(words(model_text(*m)), r.output) << name;
  }
}

// Both fixtures hold the same document; their models agree line for line where the
// formats agree (style numbers and the line break before "Second page" differ).
TEST(OfficeReadersTest, Structure) {
  const char* const kCommon[] = {
      "group 0xA0010004 6 254\ntext unicode \"Sample document\"\nend\n",
      "group 0xA0010004 4 254\ntext unicode \"Ada Lovelace\"\nend\n",
      "group 0xA0010004 2 254\ntext unicode \"alpha beta\"\nend\n",
      "group 0xA0010004 1 254\ntext unicode \"A small fixture\"\nend\n",
      " 2 0\ntext unicode \"Introduction\"\npara\n",  // heading 1: outline level 2
      "item 8 2 1 0\ntext unicode \"bold\"\nitem 8 2 0 0\n",
      "item 8 3 1 0\ntext unicode \"italic\"\nitem 8 3 0 0\n",
      "item 44 1 1 0\ngroup 0xA00A0000 1 1\ntext unicode \"A footnote's text\"\npara\nend\n",
      "bookmark \"intro_mark\"\nend\ntext unicode \"See \"\ngroup 0x20000001 10 21\ntext unicode \"the site\"\nend\n",
      "group 0x20000001 31 11\ntext unicode \"back\"\nend\n",
      "text unicode \"\xE4\xB8\xAD\xE6\x96\x87\xE6\xB8\xAC\xE8\xA9\xA6 Big5 \xE7\xAF\x84\xE5\x9C\x8D\"\npara\n",
      " 3 0\ntext unicode \"Details\"\n",  // a style whose parent is heading 2
      "table 3 3\ncell 2 1\ntext unicode \"Wide\"\nendcell\ncell 1 2\ntext unicode \"Tall\"\nendcell\nendrow\n"
      "cell\ntext unicode \"a1\"\nendcell\ncell\ntext unicode \"b1\"\nendcell\nendrow\n",
      "item 44 2 2 0\ngroup 0xA00A0000 2 2\ntext unicode \"An endnote\"\npara\nend\n",
  };
  for (std::string name : {"sample.docx", "sample.odt"}) {
    auto m = read(name.ends_with("docx") ? KVXFI_DOCX : KVXFI_ODT, qm::test::read_file(kData + "/" + name));
    ASSERT_TRUE(m) << name;
    std::string s = script_of(*m);
    for (const char* piece : kCommon) EXPECT_NE(s.find(piece), std::string::npos) << name << "\n" << piece << "\n" << s;
    EXPECT_NE(s.find(name.ends_with("docx") ? "break 23\n" : "break 22\n"), std::string::npos) << s;
    // The hyperlinks' targets in range 9.
    std::string names;
    for (size_t i = 0; i + 1 < m->bytes(KVXRANGE_NAMES).size(); i += 2) names += char(m->bytes(KVXRANGE_NAMES)[i]);
    EXPECT_EQ(names, "intro_markhttps://example.org/x#intro_mark") << name;
  }
}

// Damaged tables and runs: a span beyond Word's 63 columns counts as 1, a continuation without a
// start is a cell of its own, direct outline levels win over the style's.
TEST(OfficeReadersTest, DocxTablesAndLevelsOfDamagedInput) {
  const std::string w = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
  struct Case {
    const char* body;
    const char* expect;
  } cases[] = {
      {"<w:tbl><w:tr><w:tc><w:tcPr><w:gridSpan w:val=\"9999\"/></w:tcPr><w:p><w:r><w:t>x</w:t></w:r></w:p></w:tc>"
       "</w:tr></w:tbl>",
       "table 1 1\ncell\ntext unicode \"x\"\nendcell\nendrow\nendtable\n"},  // beyond Word's 63 columns
      {"<w:tbl><w:tr><w:tc><w:tcPr><w:vMerge/></w:tcPr><w:p><w:r><w:t>y</w:t></w:r></w:p></w:tc></w:tr></w:tbl>",
       "table 1 1\ncell\ntext unicode \"y\"\nendcell\nendrow\nendtable\n"},
      {"<w:p><w:pPr><w:outlineLvl w:val=\"3\"/></w:pPr><w:r><w:t>h</w:t></w:r></w:p>",
       "item 28 0 5 0\ntext unicode \"h\"\npara\n"},
      {"<w:p><w:pPr><w:outlineLvl w:val=\"9\"/></w:pPr><w:r><w:t>body</w:t></w:r></w:p>",
       "section wp\ntext unicode \"body\"\npara\n"},
      {"<w:p><w:r><w:footnoteReference w:id=\"7\"/><w:t>no note</w:t></w:r></w:p>",
       "section wp\ntext unicode \"no note\"\npara\n"},
  };
  for (const Case& c : cases) {
    std::string doc = std::string("<w:document ") + w + "><w:body>" + c.body + "</w:body></w:document>";
    std::string zip = make_zip({{"[Content_Types].xml", "<Types/>"}, {"word/document.xml", doc}});
    auto m = read(KVXFI_DOCX, zip);
    ASSERT_TRUE(m) << c.body;
    EXPECT_NE(script_of(*m).find(c.expect), std::string::npos) << c.body << "\n" << script_of(*m);
  }
}

// Both workbooks hold the same cells; they differ in the date system, in the form of the
// negative-number format (Excel: positive first, ODF: the conditional section first) and
// in the last number's format.
TEST(OfficeReadersTest, SheetStructure) {
  const char* const kCommon[] = {
      "group 0xA0100000 1\ngroup 0x20130000 1\nitem 24 256 0 0\nitem 24 260 0 0\nend\nend\n",  // 0%
      "group 0xA0100000 2\ngroup 0x20130000 1\nitem 24 295 0 0\ntext unicode \"-\"\nitem 24 291 0 0\n"
      "text unicode \"-\"\nitem 24 289 0 0\nend\nend\n",  // yyyy-mm-dd
      "item 84 7 3 0\ncolumns 3\ncells 21\ncell\ntext unicode \"Name\"\ncell\ntext unicode \"Value\"\ncell\ncell\n",
      "cell\nvalue 1234.5\ncell\ncell\ntext unicode \"rich <b>\"\ncell 1\nvalue 0.25\n",
      "cell 2\nvalue 45306\ncell\ncell\ntext unicode \"formula\"\ncell 3\nvalue -12.5\ncell 4\n",
      "cell\ncell\ncell\ncell\ntext unicode \"TRUE\"\ncell\ncell\ntext unicode \"#DIV/0!\"\n",
      "\nitem 84 1 2 0\ncolumns 2\ncells 2\ncell\ncell\ntext unicode \"Big5 \xE7\xAF\x84\xE5\x9C\x8D\"\n",
  };
  struct Case {
    const char* name;
    uint32_t format;
    const char* own[4];
  } cases[] = {
      {"sample.xlsx", KVXFI_XLSX,
       {"section ss \"Data\" date 0x24D9AC 1\n",  // 1900 system: JD 2,415,020 and the leap-day flag
        "group 0x20130000 1\nitem 128 0x10001 0 2\nvalue 0\nitem 24 257 0 0\nitem 24 266 0 0\n",
        "group 0x20130000 2\nitem 60 0 255 0\ntext unicode \"-\"\nitem 24 257 0 0\n",
        "section ss \"\xE4\xB8\xAD\xE6\x96\x87\" date 0x24D9AC 1\nitem 84 1 2 0\ncolumns 2\n"}},
      {"sample.ods", KVXFI_ODS,
       {"section ss \"Data\" date 0x24D9AB 0\n",  // ODF: JD 2,415,019, no flag
        "section ss \"\xE4\xB8\xAD\xE6\x96\x87\" date 0x24D9AB 0\nitem 84 1 2 0\ncolumns 2\n",
        "group 0x20130000 1\nitem 128 0x10005 0 2\nvalue 0\nitem 60 0 255 0\ntext unicode \"-\"\n",
        "value 0.4375\n"}},  // 10:30 as a fraction of a day
  };
  for (const Case& c : cases) {
    auto m = read(c.format, qm::test::read_file(kData + "/" + c.name));
    ASSERT_TRUE(m) << c.name;
    std::string s = script_of(*m);
    for (const char* piece : kCommon)
      EXPECT_NE(s.find(piece), std::string::npos) << c.name << "\n" << piece << "\n" << s;
    for (const char* piece : c.own) EXPECT_NE(s.find(piece), std::string::npos) << c.name << "\n" << piece << "\n" << s;
    // The script builds the same model again, date words included.
    std::unique_ptr<ChunkModel> again;
    ASSERT_EQ(read_chunk_script(s, again, nullptr), KVX_OK);
    EXPECT_EQ(script_of(*again), s);
  }
}

// Excel format codes as elements: hexadecimal codes, literal characters in quotes.
std::string elements_of(const readers::NumberFormat& f) {
  std::string out;
  for (const auto& sec : f.sections) {
    if (!out.empty()) out += "; ";
    if (sec.colour != 0xFFFFFFFFu) out += "colour" + std::to_string(sec.colour) + " ";
    if (sec.test) out += "test" + std::to_string(sec.test) + "," + std::to_string(int(sec.constant)) + " ";
    for (uint32_t e : sec.elements) {
      char b[16];
      if (e & readers::kElement) std::snprintf(b, sizeof b, "%X ", unsigned(e & ~readers::kElement));
      else std::snprintf(b, sizeof b, e < 0x80 ? "'%c' " : "'U+%04X' ", unsigned(e));
      out += b;
    }
  }
  return out;
}

TEST(OfficeReadersTest, ExcelFormatCodes) {
  struct Case {
    const char* code;
    const char* elements;
  } cases[] = {
      {"", "10D "},
      {"General", "10D "},
      {"0.00%", "100 103 100 100 104 "},
      {"#,##0", "101 10A 101 101 100 "},
      {"#,##0,", "101 10A 101 101 100 "},  // a trailing comma scales: not shown
      {"0.0E+00", "100 103 100 10B 100 100 "},
      {"yyyy-mm-dd hh:mm:ss", "132 127 '-' 123 '-' 121 ' ' 129 ':' 12B ':' 12D "},
      {"h:mm AM/PM", "12A ':' 12B ' ' 12F "},
      {"[h]:mm", "132 12A ':' 12B "},
      {"mmm d, yyyy", "126 ' ' 122 ',' ' ' 127 "},
      {"dddd mmmm", "133 ' ' 125 "},
      {"m", "124 "},
      {"\"Total: \"0", "'T' 'o' 't' 'a' 'l' ':' ' ' 100 "},
      {"\\$0_);\\(0\\)", "'$' 100 ' ' ; '(' 100 ')' "},
      {"[Red]0;[Blue]-0;\"zero\";@", "colour255 100 ; colour16711680 '-' 100 ; 'z' 'e' 'r' 'o' ; 105 "},
      {"[>=100]0;0.0", "test5,100 100 ; 100 103 100 "},
      {"[$\xE2\x82\xAC-407] 0", "'U+20AC' ' ' 100 "},
      {"*-0", "100 "},
      {"0;\"a;b\"", "100 ; 'a' ';' 'b' "},
  };
  for (const Case& c : cases)
    EXPECT_EQ(elements_of(readers::compile_excel_format(c.code)), c.elements) << c.code;
  EXPECT_TRUE(readers::is_date_format(readers::compile_excel_format("d-mmm")));
  EXPECT_FALSE(readers::is_date_format(readers::compile_excel_format("0.00")));
}

// A numeric cell's text as model_text gives it, from the cell's format or display type and
// the sheet's date system: one cell a case.
TEST(OfficeReadersTest, NumericCellTexts) {
  using readers::kDateBase1900, readers::kDateBase1904, readers::kDateBaseOdf, readers::kDateFlagLeapDay;
  struct Case {
    const char* code;  // nullptr: the display type instead
    uint32_t display;
    double value;
    uint32_t base, flags;
    const char* text;
  } cases[] = {
      {"General", 0, 1e6, 0, 0, "1000000"},
      {"General", 0, 0.1 + 0.2, 0, 0, "0.3"},  // 15 significant digits
      {"General", 0, -1234.5, 0, 0, "-1234.5"},
      {"General", 0, 1e20, 0, 0, "1e+20"},
      {"0.00", 0, 1234.5, 0, 0, "1234.50"},
      {"#,##0.0#", 0, 1234.5, 0, 0, "1234.5"},  // no thousands separator
      {"0", 0, 2.5, 0, 0, "3"},                  // halves away from zero
      {"0.00", 0, -0.001, 0, 0, "0.00"},
      {"#,##0.00;[Red]\\-#,##0.00", 0, -12.5, 0, 0, "-12.50"},
      {"0%", 0, 0.25, 0, 0, "25%"},
      {"0.00%", 0, 0.125, 0, 0, "12.50%"},
      {"yyyy-mm-dd", 0, 1, kDateBase1900, kDateFlagLeapDay, "1900-01-01"},
      {"yyyy-mm-dd", 0, 59, kDateBase1900, kDateFlagLeapDay, "1900-02-28"},
      {"yyyy-mm-dd", 0, 60, kDateBase1900, kDateFlagLeapDay, "1900-02-29"},  // the day that never was
      {"yyyy-mm-dd", 0, 61, kDateBase1900, kDateFlagLeapDay, "1900-03-01"},
      {"d-mmm-yy", 0, 45306, kDateBase1900, kDateFlagLeapDay, "2024-01-15"},  // every date as ISO
      {"yyyy-mm-dd", 0, 0, kDateBase1904, 0, "1904-01-01"},
      {"yyyy-mm-dd", 0, 0, kDateBaseOdf, 0, "1899-12-30"},
      {"yyyy-mm-dd hh:mm:ss", 0, 45306.4375, kDateBase1900, kDateFlagLeapDay, "2024-01-15 10:30:00"},
      {"hh:mm", 0, 0.4375, kDateBase1900, kDateFlagLeapDay, "10:30"},
      {"h:mm AM/PM", 0, 0.75, kDateBase1900, kDateFlagLeapDay, "6:00 PM"},
      {"hh:mm:ss AM/PM", 0, 0.999999, kDateBase1900, kDateFlagLeapDay, "12:00:00 AM"},  // rounds to midnight
      {nullptr, readers::kDisplayDate, 45306.9, kDateBase1900, kDateFlagLeapDay, "2024-01-15"},
      {nullptr, readers::kDisplayTime, 0.4375, kDateBase1900, kDateFlagLeapDay, "10:30:00"},
      {nullptr, readers::kDisplayDateTime, 1.5, kDateBase1904, 0, "1904-01-02 12:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code ? c.code : "display type");
    ChunkBuilder b;
    readers::SheetWriter w(b);
    w.begin({'S'}, c.base, c.flags);
    readers::SheetCell cell;
    cell.number = true;
    cell.value = c.value;
    if (c.code) cell.format = w.format(readers::compile_excel_format(c.code));
    else cell.display = readers::date_display(c.display);
    w.set(0, 0, cell);
    ASSERT_TRUE(w.end()) << w.error();
    auto m = b.finish();
    ASSERT_TRUE(m);
    EXPECT_EQ(model_text(*m), c.text);
  }
}

// Workbooks built part by part: the 1904 date system, damaged references and indexes,
// a sparse sheet as wide as its farthest cell.
TEST(OfficeReadersTest, XlsxDateSystemsAndDamagedCells) {
  const std::string ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
  auto book = [&](const std::string& pr, const std::string& rows) {
    return make_zip({{"[Content_Types].xml", "<Types/>"},
                     {"xl/workbook.xml", "<workbook " + ns + ">" + pr +
                                             "<sheets><sheet name=\"S\" r:id=\"r1\"/></sheets></workbook>"},
                     {"xl/_rels/workbook.xml.rels",
                      "<Relationships><Relationship Id=\"r1\" Target=\"worksheets/s.xml\"/></Relationships>"},
                     {"xl/sharedStrings.xml", "<sst " + ns + "><si><t>only</t></si></sst>"},
                     {"xl/worksheets/s.xml", "<worksheet " + ns + "><sheetData>" + rows + "</sheetData></worksheet>"}});
  };
  struct Case {
    std::string pr, rows;
    const char* expect;
  } cases[] = {
      {"<workbookPr date1904=\"1\"/>", "<row><c><v>1</v></c></row>",
       "section ss \"S\" date 0x24DF61 0\nitem 84 1 1 0\ncolumns 1\ncells 1\ncell\nvalue 1\n"},
      {"", "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>7</v></c><c r=\"B1\" t=\"s\"><v>0</v></c></row>",
       "columns 2\ncells 2\ncell\ncell\ntext unicode \"only\"\n"},  // a string index past the table
      {"", "<row><c r=\"1A\"><v>1</v></c><c r=\"B2\"><v>x</v></c><c r=\"C1\"><v>3</v></c></row>",
       "columns 3\ncells 3\ncell\ncell\ncell\nvalue 3\n"},  // a bad reference, a value that is no number
      {"", "<row r=\"2\"><c r=\"XFD2\" t=\"s\"><v>0</v></c></row>", "columns 16384\ncells 32768\n"},
      {"", "<row><c r=\"XFE1\"><v>1</v></c></row>", "section ss \"S\" date 0x24D9AC 1\n"},  // past the width
  };
  for (const Case& c : cases) {
    auto m = read(KVXFI_XLSX, book(c.pr, c.rows));
    ASSERT_TRUE(m) << c.rows;
    std::string s = script_of(*m);
    EXPECT_NE(s.find(c.expect), std::string::npos) << c.rows << "\n" << s.substr(0, 600);
  }
}

// A sheet costs its cells, wherever they stand: LibreOffice's ODS and our XLSX of 1,000
// rows with one cell in the last column, and of one cell in the last row, keep every cell
// and write each long empty stretch as runs of at most 65,535 cells.
TEST(OfficeReadersTest, SparseSheetsStaySparse) {
  struct Case {
    const char* name;
    uint32_t format;
    const char* pieces[3];
    uint32_t max_items;
  } cases[] = {
      {"sparse.xlsx", KVXFI_XLSX,
       {"item 84 1000 16384 0\ncolumns 16384\ncells 0xFA0000\ncell\nvalue 1\nitem 87 0x3FFE0000 1 0\n"
        "item 70 16383 0 0\ntext unicode \"note\"\nitem 70 0 1 0\nvalue 2\nitem 87 0x3FFF0000 1 1\n",
        "item 70 0 999 0\nvalue 1e+03\nitem 87 0x3FFF0000 1 999\n", ""},
       4000},
      {"sparse.ods", KVXFI_ODS, {"item 84 1000 16384 0\n", "item 70 16383 0 0\ntext unicode \"note\"\n", "value 1e+03\n"}, 4000},
      {"far.xlsx", KVXFI_XLSX,
       {"item 84 0x100000 1 0\ncolumns 1\ncells 0x100000\nitem 87 0xFFFF0000 0 0\n",
        "item 87 0xF0000 0 0xFFFF0\nitem 70 0 0xFFFFF 0\ntext unicode \"far\"\n", ""},
       40},
      {"far.ods", KVXFI_ODS, {"item 84 0x100000 1 0\n", "item 70 0 0xFFFFF 0\ntext unicode \"far\"\n", ""}, 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = read(c.format, qm::test::read_file(kData + "/" + c.name));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->cut(), "");
    EXPECT_LT(m->unit_count(KVXRANGE_ITEMS), c.max_items);
    std::string s = script_of(*m);
    for (const char* piece : c.pieces) EXPECT_NE(s.find(piece), std::string::npos) << piece << "\n" << s.substr(0, 800);
    std::unique_ptr<ChunkModel> again;
    ASSERT_EQ(read_chunk_script(s, again, nullptr), KVX_OK);
    EXPECT_EQ(script_of(*again), s);
  }
}

// Where a limit drops part of a sheet the model says so; the cells that fit are kept.
TEST(OfficeReadersTest, SheetsCutAtALimitSaySo) {
  const std::string ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
  auto xlsx = [&](const std::string& rows) {
    return make_zip({{"xl/workbook.xml", "<workbook " + ns + "><sheets><sheet name=\"S\" r:id=\"r1\"/></sheets></workbook>"},
                     {"xl/_rels/workbook.xml.rels",
                      "<Relationships><Relationship Id=\"r1\" Target=\"worksheets/s.xml\"/></Relationships>"},
                     {"xl/worksheets/s.xml", "<worksheet " + ns + "><sheetData>" + rows + "</sheetData></worksheet>"}});
  };
  struct Case {
    std::string source;
    uint32_t format;
    const char* cut;
    uint32_t rows, columns;  // of the sheet kept
  } cases[] = {
      {qm::test::read_file(kData + "/repeat.ods"), KVXFI_ODS, "repeated cells past their limit left out", 1, 1024},
      {xlsx("<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"XFE1\"><v>2</v></c></row>"), KVXFI_XLSX,
       "cells beyond row 1048576 or column 16384 left out", 1, 1},
      {xlsx("<row r=\"1048577\"><c r=\"A1048577\"><v>1</v></c></row><row r=\"1\"><c r=\"B1\"><v>2</v></c></row>"),
       KVXFI_XLSX, "cells beyond row 1048576 or column 16384 left out", 1, 2},
      // Cells at both far corners make a grid of 2^34 cells: rows past 2^32 - 1 cells go.
      {xlsx("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"1048576\"><c r=\"XFD1048576\"><v>2</v></c></row>"),
       KVXFI_XLSX, "rows past a grid of 4294967295 cells left out", 262143, 16384},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cut);
    auto m = read(c.format, c.source);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->cut(), c.cut);
    uint32_t i = 0;
    while (i < m->unit_count(KVXRANGE_ITEMS) && m->word(KVXRANGE_ITEMS, i, 0) != 84) ++i;
    ASSERT_LT(i, m->unit_count(KVXRANGE_ITEMS));
    EXPECT_EQ(m->word(KVXRANGE_ITEMS, i, 1), c.rows);
    EXPECT_EQ(m->word(KVXRANGE_ITEMS, i, 2), c.columns);
  }
  // kvxdump prints what was kept and says why it is not all, with exit code 4.
  if (const char* dist = std::getenv("QM_DIST_DIR")) {
    std::string out;
    int status = qm::test::command_output(std::string(dist) + "/kvxdump --text " + kData + "/repeat.ods 2>&1", out);
    EXPECT_EQ(status, 4 << 8);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\t'), 1023) << out;  // the 1,024 cells kept
    EXPECT_NE(out.find("cut short: repeated cells past their limit left out\n"), std::string::npos) << out;
  }
  // The sheet writer's own limits: the text of one cell, and the runs of a document: each
  // sheet of a cell at each end of 2^32 - 1 cells takes 65,537 runs, and the 16th sheet
  // is cut to its first row.
  ChunkBuilder b;
  readers::SheetWriter w(b);
  w.begin({'S'}, 0, 0);
  readers::SheetCell text;
  text.text.assign(readers::SheetWriter::kMaxCellUnits + 1, 'x');
  w.set(0, 0, text);
  EXPECT_EQ(b.cut(), "cell texts cut at 32768 characters");
  ASSERT_TRUE(w.end());
  ChunkBuilder corners;
  readers::SheetWriter many(corners);
  readers::SheetCell one;
  one.number = true;
  for (int sheet = 0; sheet < 16; ++sheet) {
    many.begin({'S'}, 0, 0);
    many.set(0, 0, one);
    many.set(262142, 16383, one);
    ASSERT_TRUE(many.end());
    if (sheet == 14) {
      EXPECT_EQ(corners.cut(), "");
    }
  }
  EXPECT_EQ(corners.cut(), "cells past 1048576 runs of empty cells left out");
  auto m = corners.finish();
  ASSERT_TRUE(m);
  EXPECT_LT(m->unit_count(KVXRANGE_ITEMS), 15 * 65540u + 100);
}

TEST(OfficeReadersTest, LockedAndOversizedPackagesAreRefused) {
  KVXSTATUS st = KVX_OK;
  // An OOXML package locked with a password is an OLE2 file with an EncryptedPackage stream.
  std::string ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  ole.resize(512, '\0');
  for (char c : std::string("EncryptedPackage")) ole += {c, '\0'};
  ole.resize(1024, '\0');
  EXPECT_FALSE(read(KVXFI_DOCX, ole, &st));
  EXPECT_EQ(st, KVXERR_ENCRYPTED);
  EXPECT_FALSE(read(KVXFI_XLSX, ole, &st));
  EXPECT_EQ(st, KVXERR_ENCRYPTED);
  // An ODF package whose manifest names encryption data.
  std::string odt = make_zip({{"mimetype", "application/vnd.oasis.opendocument.text"},
                              {"META-INF/manifest.xml",
                               "<manifest><file-entry><encryption-data/></file-entry></manifest>"},
                              {"content.xml", "garbled"}},
                             false);
  EXPECT_FALSE(read(KVXFI_ODT, odt, &st));
  EXPECT_EQ(st, KVXERR_ENCRYPTED);
  EXPECT_FALSE(read(KVXFI_ODS, odt, &st));
  EXPECT_EQ(st, KVXERR_ENCRYPTED);
  // A part that inflates past the cap, and a package of too many entries.
  std::string huge = "<w:document><w:body><w:p><w:r><w:t>" + std::string((64u << 20) + 16, 'a');
  EXPECT_FALSE(read(KVXFI_DOCX, make_zip({{"word/document.xml", huge}}), &st));
  EXPECT_EQ(st, KVXERR_BADFORMAT);
  std::vector<std::pair<std::string, std::string>> many;
  for (int i = 0; i < 10001; ++i) {
    std::string name = "p";
    name += std::to_string(i);
    many.push_back({name, ""});
  }
  many.push_back({"word/document.xml", kDocxMain});
  EXPECT_FALSE(read(KVXFI_DOCX, make_zip(many, false), &st));
  EXPECT_EQ(st, KVXERR_BADFORMAT);
  // No main part, no archive.
  EXPECT_FALSE(read(KVXFI_DOCX, make_zip({{"word/other.xml", kDocxMain}}), &st));
  EXPECT_EQ(st, KVXERR_BADFORMAT);
  EXPECT_FALSE(read(KVXFI_ODT, "PK\x03\x04 not really", &st));
  EXPECT_EQ(st, KVXERR_BADFORMAT);
  EXPECT_TRUE(read(KVXFI_DOCX, make_zip({{"word/document.xml", kDocxMain}})));
}

TEST(OfficeReadersTest, SeededCorruptionsReadCleanly) {
  qm::test::VariantTrace trace;
  struct Source {
    std::string name;
    uint32_t format;
  } sources[] = {{"sample.docx", KVXFI_DOCX}, {"sample.odt", KVXFI_ODT}, {"sample.xlsx", KVXFI_XLSX},
                 {"sample.ods", KVXFI_ODS}};
  for (const Source& src : sources) {
    std::string original = qm::test::read_file(kData + "/" + src.name);
    qm::test::Corruptor corrupt(27);
    for (int v = 0; v < 200; ++v) {
      qm::test::Edits edits = corrupt.any(original.size());
      std::string bytes = original;
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
